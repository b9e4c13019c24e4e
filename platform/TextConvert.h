#pragma once

// Conversion of text between the code pages the program meets: names and
// settings files made on Windows are CP932, the Linux side is UTF-8.

#include <string>
#include <string_view>

#include "text/Codepage.h"

namespace quor {

// Converts `in` from `from` to `to` exactly, without substitutes: returns
// false, leaving `out` unchanged, when `in` holds a byte sequence that is not
// valid in `from` or a character that `to` cannot represent. CP932 is the
// Windows code page (0x81 0x60 is U+FF5E, the NEC and IBM extensions
// included), not plain Shift-JIS. Converting to the same code page checks
// validity only. NUL bytes pass through like any other character.
[[nodiscard]] bool ConvertText(std::string_view in, Codepage from, Codepage to, std::string& out);

}  // namespace quor
