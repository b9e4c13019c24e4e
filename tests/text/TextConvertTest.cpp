#include "text/TextConvert.h"

#include <gtest/gtest.h>

#include "tests/Hex.h"

#include <cstdio>
#include <string>

namespace quor {
namespace {

using test::Hex;


TEST(ConvertText, Cp932AndUtf8BothWays) {
  const struct {
    const char* what;
    std::string cp932;
    std::string utf8;
  } cases[] = {
      {"empty", "", ""},
      {"ascii with backslash and tilde", "C:\\a~b", "C:\\a~b"},
      {"episode and brackets", "\x91\xE6\x31\x98\x62\x81\x75\x81\x76", "第1話「」"},
      {"trail byte 0x5C is no backslash", "\x95\x5C\x8E\xA6\x83\x5C", "表示ソ"},
      {"half-width katakana", "\xB1\xB2", "ｱｲ"},
      {"wave dash is the Windows one", "\x81\x60", "\xEF\xBD\x9E"},  // U+FF5E
      {"NEC circled digit", "\x87\x40", "①"},
      {"NUL passes through", std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    std::string out = "junk";
    ASSERT_TRUE(ConvertText(c.cp932, Codepage::Cp932, Codepage::Utf8, out)) << c.what;
    EXPECT_EQ(out, c.utf8) << c.what << " " << Hex(out);
    ASSERT_TRUE(ConvertText(c.utf8, Codepage::Utf8, Codepage::Cp932, out)) << c.what;
    EXPECT_EQ(out, c.cp932) << c.what << " " << Hex(out);
  }
}

TEST(ConvertText, FailsOnWhatItCannotConvertAndLeavesOutAlone) {
  const struct {
    const char* what;
    std::string in;
    Codepage from;
    Codepage to;
  } cases[] = {
      {"lone lead byte at the end", "a\x91", Codepage::Cp932, Codepage::Utf8},
      {"lead byte with a bad trail", "\x91\x20", Codepage::Cp932, Codepage::Utf8},
      {"unassigned byte 0x80", "\x80", Codepage::Cp932, Codepage::Utf8},
      {"unassigned byte 0xFD", "a\xFD", Codepage::Cp932, Codepage::Utf8},
      {"unassigned double byte", "\x85\x40", Codepage::Cp932, Codepage::Utf8},
      {"stray continuation byte", "a\x80z", Codepage::Utf8, Codepage::Cp932},
      {"truncated sequence", "\xE8\xA9", Codepage::Utf8, Codepage::Cp932},
      {"surrogate", "\xED\xA0\x80", Codepage::Utf8, Codepage::Cp932},
      {"emoji has no CP932 form", "a\xF0\x9F\x98\x80", Codepage::Utf8, Codepage::Cp932},
      {"latin small e acute has no CP932 form", "caf\xC3\xA9", Codepage::Utf8, Codepage::Cp932},
      {"same code page still checks", "\xFF", Codepage::Utf8, Codepage::Utf8},
  };
  for (const auto& c : cases) {
    std::string out = "untouched";
    EXPECT_FALSE(ConvertText(c.in, c.from, c.to, out)) << c.what << " " << Hex(c.in);
    EXPECT_EQ(out, "untouched") << c.what;
  }
}

TEST(ConvertText, GrowsPastItsFirstGuessOfTheSize) {
  // Half-width katakana triple in size, more than the buffer's first guess.
  const std::string kana(100000, '\xB1');
  std::string out;
  ASSERT_TRUE(ConvertText(kana, Codepage::Cp932, Codepage::Utf8, out));
  ASSERT_EQ(out.size(), 300000u);
  EXPECT_EQ(out.substr(299997), "ｱ");
  std::string back;
  ASSERT_TRUE(ConvertText(out, Codepage::Utf8, Codepage::Cp932, back));
  EXPECT_EQ(back, kana);
}

}  // namespace
}  // namespace quor
