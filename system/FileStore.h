#pragma once

// Whole-file reads and crash-safe rewrites over POSIX, for the settings file.
// Errors carry the path and the system's own message.

#include <string>
#include <string_view>

namespace quor {

// Reads the whole file at `path` into `out`. Returns false, leaving `out`
// alone, when there is no such file (or a folder on its way is missing).
// Throws quor::Exception when something exists there but cannot be read:
// no permission, a folder, a device or pipe, an I/O error.
[[nodiscard]] bool ReadWholeFile(const std::string& path, std::string& out);

// Replaces the file at `path` with `data` so that the file holds either its
// old or its new content whatever happens: the data goes to a new file in
// the same folder, is flushed to the disk (fsync), and is renamed over the
// old file, whose permissions it takes. A symbolic link is followed, so the
// link stays and its target is replaced. On any failure (full disk, folder
// not writable, the path is a folder or a file without write permission)
// the new file is removed, the old one is left as it was, and
// quor::Exception is thrown.
void ReplaceFileContents(const std::string& path, std::string_view data);

}  // namespace quor
