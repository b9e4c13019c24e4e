#pragma once

// Conversion of text between the code pages the program meets: names and
// settings files made on Windows are CP932, the Linux side is UTF-8.

#include <cstddef>
#include <string>
#include <string_view>

#include "text/Codepage.h"

namespace quor {

// Why a conversion failed, and where.
struct [[nodiscard]] ConvertResult {
  enum class Reason {
    None,             // converted
    InvalidInput,     // a byte sequence that is no character of `from`
    Unrepresentable,  // a character that `to` has no form for
    NoConverter,      // the system cannot convert between the two at all
  };
  Reason Why = Reason::None;
  std::size_t Offset = 0;  // of the first character that failed, in the input
  constexpr explicit operator bool() const { return Why == Reason::None; }
};

// Converts `in` from `from` to `to` exactly, without substitutes; on a
// failure `out` is left unchanged and the result says why. CP932 is the
// Windows code page (0x81 0x60 is U+FF5E, the NEC and IBM extensions
// included), not plain Shift-JIS. Converting to the same code page checks
// validity only. NUL bytes pass through like any other character.
ConvertResult ConvertText(std::string_view in, Codepage from, Codepage to, std::string& out);

}  // namespace quor
