#pragma once

#include <cstddef>
#include <string_view>

namespace quor {

// The multibyte code page that a byte string is read in. Every text
// operation takes it as a value so that one process can handle names of
// both kinds.
enum class Codepage { Cp932, Utf8 };

// The platform's narrow encoding: UTF-8 on Linux.
[[nodiscard]] Codepage NativeCodepage();

// Byte length of the character that starts at text[pos] (pos < size).
// CP932: a lead byte 0x81-0x9F or 0xE0-0xFC takes the next byte with it,
// except at the very end of the text, where it stands alone.
// UTF-8: a well-formed 2-, 3- or 4-byte sequence (no overlong forms, no
// surrogates, nothing above U+10FFFF) is one character; any other byte,
// such as a stray continuation byte or the start of a truncated sequence,
// is a character of its own.
[[nodiscard]] std::size_t CharLength(std::string_view text, std::size_t pos, Codepage cp);

// True when every character of the text is well formed in the code page:
// UTF-8 without a stray byte; CP932 without a lone lead byte at the end or
// a lead byte followed by a byte that is no trail byte (0x40-0x7E, 0x80-0xFC).
[[nodiscard]] bool IsValidText(std::string_view text, Codepage cp);

}  // namespace quor
