#pragma once

// Names as the log and the file list show them. The file system sees the
// real bytes; the memo gets text that is valid UTF-8 and keeps one entry on
// one line.

#include <string>
#include <string_view>

#include "text/Codepage.h"

namespace quor {

// The code page a name is read in: UTF-8 when it is valid UTF-8, else CP932
// when it is valid CP932 (names from archives made on Windows); false when
// it is valid in neither.
[[nodiscard]] bool NameCodepage(std::string_view name, Codepage& cp);

// A name as UTF-8 text for display: CP932 names decoded, a byte valid in
// neither code page shown as U+FFFD, control characters (TAB, line breaks)
// shown as their visible symbols U+2400-U+2421, and the C1 controls and the
// line and paragraph separators as their code points ("<U+2028>"), so that
// every name stays on its line in any viewer.
[[nodiscard]] std::string DisplayName(std::string_view name);

// A path for display: folder part and name decoded on their own, since a
// CP932 name may stand in a UTF-8 folder.
[[nodiscard]] std::string DisplayPath(std::string_view path);
// The same, appended to `out`: one line of the log is built in one string.
void AppendDisplayPath(std::string& out, std::string_view path);

}  // namespace quor
