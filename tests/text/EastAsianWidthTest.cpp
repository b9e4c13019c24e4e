#include "text/EastAsianWidth.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/Hex.h"

namespace quor {
namespace {

using test::Hex;

// The cells counted at every byte of a text: a character's width at its
// first byte, 0 at the bytes after it.
TEST(EastAsianWidth, CellsAtEveryByte) {
  const struct {
    const char* what;
    std::string text;
    std::vector<int> cells;
  } cases[] = {
      {"ASCII letters, digit, space, control", "a1 \x01", {1, 1, 1, 1}},
      {"Latin with a two-byte form (é)", "\xC3\xA9", {1, 0}},
      {"half-width katakana (ｱ U+FF71)", "\xEF\xBD\xB1", {1, 0, 0}},
      {"half-width corner bracket (｢ U+FF62)", "\xEF\xBD\xA2", {1, 0, 0}},
      {"half-width forms begin at U+FF61 (｡)", "\xEF\xBD\xA1", {1, 0, 0}},
      {"full-width forms end at U+FF60 (｠)", "\xEF\xBD\xA0", {2, 0, 0}},
      {"hiragana (あ)", "\xE3\x81\x82", {2, 0, 0}},
      {"katakana (カ)", "\xE3\x82\xAB", {2, 0, 0}},
      {"ideographic space (U+3000)", "\xE3\x80\x80", {2, 0, 0}},
      {"kanji (話)", "\xE8\xA9\xB1", {2, 0, 0}},
      {"full-width letter and digit (Ａ０)", "\xEF\xBC\xA1\xEF\xBC\x90", {2, 0, 0, 2, 0, 0}},
      {"full-width sign (￥ U+FFE5)", "\xEF\xBF\xA5", {2, 0, 0}},
      {"the log's arrow (← U+2190)", "\xE2\x86\x90", {2, 0, 0}},
      {"circled digit (① U+2460)", "\xE2\x91\xA0", {2, 0, 0}},
      {"Hangul syllable (한)", "\xED\x95\x9C", {2, 0, 0}},
      {"Hangul leading jamo (ᄀ U+1100)", "\xE1\x84\x80", {2, 0, 0}},
      {"emoji (😀 U+1F600)", "\xF0\x9F\x98\x80", {2, 0, 0, 0}},
      {"enclosed ideograph below the pictographs: one cell (🈑 U+1F211)", "\xF0\x9F\x88\x91", {1, 0, 0, 0}},
      {"supplementary kanji (𠀋 U+2000B)", "\xF0\xA0\x80\x8B", {2, 0, 0, 0}},
      {"combining mark: a cell of its own (e + U+0301)", "e\xCC\x81", {1, 1, 0}},
      {"zero-width space: one cell (U+200B)", "\xE2\x80\x8B", {1, 0, 0}},
      {"variation selector: one cell (U+FE0F)", "\xEF\xB8\x8F", {1, 0, 0}},
      {"truncated kanji: its lead byte says wide", "\xE6\xBC", {2, 0}},
      {"truncated arrow: too short to decode", "a\xE2\x86", {1, 1, 0}},
      {"truncated emoji: too short to decode", "\xF0\x9F\x98", {1, 0, 0}},
      {"invalid byte 0xFF alone", "\xFF", {1}},
      {"invalid lead 0xC0 and a stray continuation byte", "\xC0\x80\x80", {1, 0, 0}},
  };
  for (const auto& c : cases) {
    std::vector<int> got;
    for (std::size_t i = 0; i < c.text.size(); ++i) got.push_back(CellsAt(c.text, i));
    EXPECT_EQ(got, c.cells) << c.what << " " << Hex(c.text);
  }
}

}  // namespace
}  // namespace quor
