#pragma once

// The code pages a name may be in (CP932 and UTF-8), and the characters of
// each: how long the one at a byte is, where one starts, and whether a text
// is well formed or plain.

#include <cstddef>
#include <string_view>

namespace quor {

// The multibyte code page that a byte string is read in. Every text
// operation takes it as a value so that one process can handle names of
// both kinds.
enum class Codepage { Cp932, Utf8 };

// The platform's narrow encoding: UTF-8 on Linux.
[[nodiscard]] Codepage NativeCodepage();

// CP932 lead bytes (0x81-0x9F, 0xE0-0xFC) take the next byte with them.
[[nodiscard]] constexpr bool IsCp932LeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Byte length of the character that starts at text[pos] (pos < size).
// CP932: a lead byte 0x81-0x9F or 0xE0-0xFC takes the next byte with it,
// except at the very end of the text, where it stands alone.
// UTF-8: a well-formed 2-, 3- or 4-byte sequence (no overlong forms, no
// surrogates, nothing above U+10FFFF) is one character; any other byte,
// such as a stray continuation byte or the start of a truncated sequence,
// is a character of its own.
[[nodiscard]] inline std::size_t CharLength(std::string_view text, std::size_t pos, Codepage cp);

// Length of the well-formed UTF-8 sequence at text[pos], or 0 when the byte
// there starts none. Inline: every name of a folder goes through it.
[[nodiscard]] inline std::size_t Utf8SequenceLength(std::string_view s, std::size_t pos) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[pos + i]); };
  const auto cont = [&](std::size_t i) { return (at(i) & 0xC0) == 0x80; };
  const std::size_t left = s.size() - pos;
  const unsigned char c = at(0);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return left >= 2 && cont(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (left < 3 || !cont(1) || !cont(2)) return 0;
    if (c == 0xE0 && at(1) < 0xA0) return 0;   // overlong
    if (c == 0xED && at(1) >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (left < 4 || !cont(1) || !cont(2) || !cont(3)) return 0;
    if (c == 0xF0 && at(1) < 0x90) return 0;   // overlong
    if (c == 0xF4 && at(1) >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

// True when a character starts at text[pos] (pos <= size) in UTF-8, found
// from the few bytes before it: only a well-formed sequence that starts up
// to three bytes earlier can cover it.
[[nodiscard]] inline bool IsUtf8Boundary(std::string_view text, std::size_t pos) {
  if (pos == 0 || pos >= text.size()) return true;
  if ((static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80) return true;
  for (std::size_t k = 1; k <= 3 && k <= pos; ++k) {
    if ((static_cast<unsigned char>(text[pos - k]) & 0xC0) != 0x80) return Utf8SequenceLength(text, pos - k) <= k;
  }
  return true;
}

// True for valid UTF-8 without a control character: no C0 control, DEL, C1
// control (U+0080-009F), nor U+2028/U+2029 (which some editors break lines
// at). Such text can be shown and written on a line as it is; nearly every
// name is, so this one pass is kept tight.
[[nodiscard]] bool IsPlainText(std::string_view text);

// True when every character of the text is well formed in the code page:
// UTF-8 without a stray byte; CP932 without a lone lead byte at the end or
// a lead byte followed by a byte that is no trail byte (0x40-0x7E, 0x80-0xFC).
[[nodiscard]] bool IsValidText(std::string_view text, Codepage cp);

inline std::size_t CharLength(std::string_view text, std::size_t pos, Codepage cp) {
  const auto c = static_cast<unsigned char>(text[pos]);
  if (c < 0x80) return 1;
  if (cp == Codepage::Cp932) return IsCp932LeadByte(c) && pos + 1 < text.size() ? 2 : 1;
  const std::size_t n = Utf8SequenceLength(text, pos);
  return n == 0 ? 1 : n;
}

}  // namespace quor
