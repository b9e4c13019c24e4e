#pragma once

// Byte-level helpers that every layer shares: ASCII case, hex digits, blanks
// and the replacement character. None of them looks at more than one byte
// of a multibyte character, so each is safe on UTF-8 and CP932 text alike.

#include <cstddef>
#include <string_view>

namespace quor {

// U+FFFD in UTF-8: what a byte valid in no code page is shown as.
inline constexpr std::string_view kReplacementChar = "\xEF\xBF\xBD";

[[nodiscard]] constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
[[nodiscard]] constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// True when both texts are equal once ASCII letters are folded to one case.
[[nodiscard]] constexpr bool SameAsciiFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

// The value of a hexadecimal digit of either case; -1 for any other byte.
[[nodiscard]] constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A NUL byte, which would cut a path short at the system call and name
// some other entry.
[[nodiscard]] constexpr bool HasNulByte(std::string_view text) { return text.find('\0') != std::string_view::npos; }

// The bytes 0x00-0x20: control characters and the space.
[[nodiscard]] constexpr bool IsBlankByte(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// The text without blank bytes at its end; at both ends.
[[nodiscard]] constexpr std::string_view TrimRightView(std::string_view text) {
  while (!text.empty() && IsBlankByte(text.back())) text.remove_suffix(1);
  return text;
}
[[nodiscard]] constexpr std::string_view TrimView(std::string_view text) {
  while (!text.empty() && IsBlankByte(text.front())) text.remove_prefix(1);
  return TrimRightView(text);
}

}  // namespace quor
