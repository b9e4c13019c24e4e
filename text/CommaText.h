#pragma once

// The one-line list encoding of the settings file. Items are joined by ','.
// An item holding a comma, a double quote, a space or a control character
// (bytes 0x00-0x20, 0x7F) is written in double quotes with inner quotes
// doubled; any other item as it is, an empty item as nothing:
//   {"a b", "", "x"}  ->  "a b",,x
// Trail bytes of CP932 and UTF-8 never equal those bytes, so no character
// is ever split.

#include <string>
#include <string_view>
#include <vector>

namespace quor {

[[nodiscard]] std::string ToCommaText(const std::vector<std::string>& items);

// Reads back what ToCommaText writes, and survives anything else: blanks
// (bytes up to 0x20) between items are skipped, an unquoted item ends at
// the next ',' (inner spaces kept, trailing blanks dropped), and an unclosed
// quote takes the rest of the text. "" gives no item at all.
[[nodiscard]] std::vector<std::string> FromCommaText(std::string_view text);

}  // namespace quor
