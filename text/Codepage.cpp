#include "text/Codepage.h"

namespace quor {

Codepage NativeCodepage() { return Codepage::Utf8; }

namespace {

bool IsCp932Trail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

}  // namespace

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
