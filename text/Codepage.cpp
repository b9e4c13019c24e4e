#include "text/Codepage.h"

namespace quor {

Codepage NativeCodepage() { return Codepage::Utf8; }

namespace {

bool IsCp932Trail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

}  // namespace

bool IsPlainText(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  const auto cont = [](unsigned char c) { return (c & 0xC0) == 0x80; };
  while (p < end) {
    const unsigned char c = *p;
    if (c >= 0x20 && c < 0x7F) {
      ++p;
      continue;
    }
    const auto left = end - p;
    if (c < 0xC2) return false;  // a control, DEL, a stray continuation byte, an overlong lead
    if (c < 0xE0) {
      if (left < 2 || !cont(p[1]) || (c == 0xC2 && p[1] < 0xA0)) return false;
      p += 2;
    } else if (c < 0xF0) {
      if (left < 3 || !cont(p[1]) || !cont(p[2]) || (c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0) ||
          (c == 0xE2 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9)))
        return false;
      p += 3;
    } else if (c < 0xF5) {
      if (left < 4 || !cont(p[1]) || !cont(p[2]) || !cont(p[3]) || (c == 0xF0 && p[1] < 0x90) ||
          (c == 0xF4 && p[1] >= 0x90))
        return false;
      p += 4;
    } else {
      return false;
    }
  }
  return true;
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
