#pragma once

// One value on one line of a text file, whatever bytes it holds: the
// settings file and the rename history both write names this way, so that a
// person can read them and no name can break a line or a field.
//
// A value is written as it is unless it holds a control character (bytes
// 0x00-0x1F and 0x7F, the C1 controls U+0080-009F, and U+2028 and U+2029,
// which some editors take for line breaks), a byte that is not part of
// valid UTF-8, or starts with the marker "\esc:". Such a value is written as
// the marker followed by the value with each backslash doubled and each byte
// of those characters as "\x" and two upper-case hex digits:
//   a<LF>b         ->  \esc:a\x0Ab
//   C:\dir<TAB>    ->  \esc:C:\\dir\x09
//   \esc:x         ->  \esc:\\esc:x
// Reading a value that starts with the marker: "\\" is one backslash, "\xHH"
// (either case) that byte, and any other backslash stands for itself. Plain
// values, Windows paths with their backslashes included, are written and
// read unchanged. A written value never holds a TAB or a line break.

#include <string>
#include <string_view>

namespace quor {

[[nodiscard]] std::string EscapeLineValue(std::string_view value);
// The same, appended to `out`: for writers of many lines.
void AppendEscapedLineValue(std::string& out, std::string_view value);
[[nodiscard]] std::string UnescapeLineValue(std::string_view text);

}  // namespace quor
