#pragma once

// East Asian width: how many cells of a fixed-pitch font a character takes
// where kana and kanji take two, read off UTF-8 bytes. An estimate for
// lining up columns of names, made for every byte of every log line, so it
// decodes without checking the bytes after a lead.

#include <cstddef>
#include <string_view>

namespace quor {

// True for the code points drawn two cells wide: CJK radicals, kana,
// kanji, Yi and the CJK symbols (U+2E80-A4CF), Hangul (leading jamo
// U+1100-115F, syllables U+AC00-D7A3), arrows (U+2190-21FF), enclosed and
// other symbols and dingbats (U+2460-27BF), compatibility ideographs
// (U+F900-FAFF), CJK compatibility forms (U+FE30-FE4F), full-width forms
// (U+FF00-FF60, U+FFE0-FFE6), pictographs and emoji (U+1F300-1FAFF) and
// the supplementary ideographs (U+20000-3FFFD). Everything else is one
// cell, combining marks and zero-width characters included: IsWide(U+FF61
// ｡) is false, IsWide(U+FF60) true.
[[nodiscard]] constexpr bool IsWide(char32_t cp) {
  return (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xFF00 && cp <= 0xFF60) || (cp >= 0x1100 && cp <= 0x115F) ||
         (cp >= 0x2190 && cp <= 0x21FF) || (cp >= 0x2460 && cp <= 0x27BF) || (cp >= 0xAC00 && cp <= 0xD7A3) ||
         (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFFE0 && cp <= 0xFFE6) ||
         (cp >= 0x1F300 && cp <= 0x1FAFF) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

// The cells of the character whose first byte is utf8[i] (i < size), so
// that summing over every byte of a text gives its width:
// - an ASCII byte (a control character too) is 1;
// - a continuation byte (0x80-0xBF) is 0: its lead byte counted it;
// - a lead byte below 0xE0 (U+0080-07FF, and the invalid 0xC0 and 0xC1) is 1;
// - a lead byte 0xE3-0xE9 (U+3000-9FFF, kana and kanji: the common case) is
//   2 without a look at the bytes after it, even when they are cut off;
// - any other lead byte (0xE0-0xEF three bytes, 0xF0-0xFF four) is decoded
//   from the bits the sequence's form gives it, without checking that the
//   bytes after it are continuation bytes, and is IsWide of the result: 2
//   or 1; 1 when the text ends before the sequence does.
//   CellsAt("漢", 0) == 2, CellsAt("漢", 1) == 0, CellsAt("ｱ", 0) == 1
[[nodiscard]] constexpr int CellsAt(std::string_view utf8, std::size_t i) {
  const auto lead = static_cast<unsigned char>(utf8[i]);
  if (lead < 0x80) return 1;
  if (lead < 0xC0) return 0;
  if (lead < 0xE0) return 1;
  if (lead >= 0xE3 && lead <= 0xE9) return 2;
  const auto bits = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(utf8[i + k]) & 0x3Fu); };
  if (lead < 0xF0) return i + 2 < utf8.size() && IsWide(((lead & 0x0Fu) << 12) | (bits(1) << 6) | bits(2)) ? 2 : 1;
  return i + 3 < utf8.size() && IsWide(((lead & 0x07u) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3)) ? 2 : 1;
}

}  // namespace quor
