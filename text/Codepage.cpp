#include "text/Codepage.h"

namespace quor {

Codepage NativeCodepage() { return Codepage::Utf8; }

namespace {

bool IsCp932Trail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }
bool IsCont(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::size_t Utf8SequenceLength(std::string_view s, std::size_t pos) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[pos + i]); };
  const std::size_t left = s.size() - pos;
  const unsigned char c = at(0);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return left >= 2 && IsCont(at(1)) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (left < 3 || !IsCont(at(1)) || !IsCont(at(2))) return 0;
    if (c == 0xE0 && at(1) < 0xA0) return 0;   // overlong
    if (c == 0xED && at(1) >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (left < 4 || !IsCont(at(1)) || !IsCont(at(2)) || !IsCont(at(3))) return 0;
    if (c == 0xF0 && at(1) < 0x90) return 0;  // overlong
    if (c == 0xF4 && at(1) >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

bool IsValidText(std::string_view text, Codepage cp) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (cp == Codepage::Cp932) {
      if (IsCp932LeadByte(c)) {
        if (i + 1 >= text.size() || !IsCp932Trail(static_cast<unsigned char>(text[i + 1]))) return false;
        i += 2;
      } else if (c >= 0xA1 && c <= 0xDF) {
        ++i;  // half-width katakana
      } else {
        return false;  // 0x80, 0xA0, 0xFD-0xFF are unassigned
      }
    } else {
      const std::size_t n = Utf8SequenceLength(text, i);
      if (n == 0) return false;
      i += n;
    }
  }
  return true;
}

}  // namespace quor
