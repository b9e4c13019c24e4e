#pragma once

// What a drop on the window brings: its local paths, as bytes.

#include <string>
#include <vector>

class QMimeData;

namespace quor {

// The local paths of a drop, in the order the source lists them, as bytes:
// the file: URLs of its text/uri-list with an empty host, "localhost" or
// this machine's name, percent-decoded byte by byte so that a name that is
// not valid UTF-8 arrives unchanged. Other URLs are left out.
[[nodiscard]] std::vector<std::string> DroppedLocalPaths(const QMimeData& data);

}  // namespace quor
