#include "text/TextOps.h"

#include <gtest/gtest.h>

#include "tests/Hex.h"

namespace quor {
namespace {

using test::Hex;
constexpr auto Sjis = Codepage::Cp932;
constexpr auto Utf8 = Codepage::Utf8;

TEST(Codepage, CharacterLengths) {
  const struct {
    const char* what;
    std::string text;
    Codepage cp;
    std::vector<std::size_t> lengths;
  } cases[] = {
      {"ascii", "ab", Sjis, {1, 1}},
      {"cp932 double byte", "\x82\xA0z", Sjis, {2, 1}},
      {"cp932 half-width katakana", "\xA2\xDF", Sjis, {1, 1}},
      {"cp932 lead byte at the end", "a\x82", Sjis, {1, 1}},
      {"cp932 high lead range", "\xE0\x40\xFC\xFC", Sjis, {2, 2}},
      {"cp932 lead bytes at the range ends (檗ⅰ髙黑)", "\x9F\x40\xFA\x40\xFB\xFC\xFC\x4B", Sjis, {2, 2, 2, 2}},
      {"cp932 half-width katakana before a byte", "\xDF\x40", Sjis, {1, 1}},
      {"utf8 2/3/4 bytes", "\xC3\xA9\xE3\x80\x8C\xF0\x9F\x8E\xAC", Utf8, {2, 3, 4}},
      {"utf8 stray continuation", "\x80\xBFx", Utf8, {1, 1, 1}},
      {"utf8 truncated sequence", "\xE3\x80", Utf8, {1, 1}},
      {"utf8 overlong", "\xC0\xAF\xE0\x80\xAF", Utf8, {1, 1, 1, 1, 1}},
      {"utf8 surrogate", "\xED\xA0\x80", Utf8, {1, 1, 1}},
      {"utf8 above U+10FFFF", "\xF4\x90\x80\x80", Utf8, {1, 1, 1, 1}},
  };
  for (const auto& c : cases) {
    std::vector<std::size_t> got;
    for (std::size_t i = 0; i < c.text.size(); i += got.back()) got.push_back(CharLength(c.text, i, c.cp));
    EXPECT_EQ(got, c.lengths) << c.what << " " << Hex(c.text);
  }
}

TEST(Codepage, Validity) {
  EXPECT_TRUE(IsValidText("第1話「A」〜🎬", Utf8));
  EXPECT_FALSE(IsValidText("a\xFF", Utf8));
  EXPECT_FALSE(IsValidText("\xE3\x80", Utf8));
  EXPECT_TRUE(IsValidText("\x91\xE6\x82\x50\x98\x62\xA2", Sjis));
  EXPECT_TRUE(IsValidText("\x9F\x40\x81\x80\xFA\x40\xFC\x4B", Sjis));  // 檗÷ⅰ黑: range ends
  EXPECT_TRUE(IsValidText("\xA1\xDF", Sjis));  // ｡ﾟ: both ends of half-width katakana
  EXPECT_FALSE(IsValidText("a\x82", Sjis));      // lead byte at the end
  EXPECT_FALSE(IsValidText("\x82\x20", Sjis));   // no trail byte
  EXPECT_FALSE(IsValidText("\xFD", Sjis));       // unassigned
  EXPECT_FALSE(IsValidText("\x81\xFD", Sjis));   // trail byte out of range
}

// What may be shown and written on a line as it is.
TEST(Codepage, PlainText) {
  const struct {
    const char* what;
    std::string text;
    bool plain;
  } cases[] = {
      {"empty", "", true},
      {"every width of character", "a é 第 🎬 ~", true},
      {"the last character before DEL", "~", true},
      {"TAB", "a\tb", false},
      {"DEL", "a\x7F", false},
      {"NUL", std::string("a\0", 2), false},
      {"the last C1 control", "\xC2\x9F", false},
      {"the first character after C1", "\xC2\xA0", true},
      {"line separator", "\xE2\x80\xA8", false},
      {"the character before it", "\xE2\x80\xA7", true},
      {"a stray continuation byte", "\x80", false},
      {"overlong", "\xC0\xAF", false},
      {"overlong three bytes", "\xE0\x80\xAF", false},
      {"surrogate", "\xED\xA0\x80", false},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false},
      {"cut short", "\xE3\x81", false},
      {"CP932", "\x83\x65\x83\x58", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPlainText(c.text), c.plain) << c.what;
}

TEST(TextOps, AnsiPosStepsOverTrailBytes) {
  EXPECT_EQ(AnsiPos("b", "ab", Utf8), 2u);
  EXPECT_EQ(AnsiPos("", "ab", Utf8), 0u);
  EXPECT_EQ(AnsiPos("x", "ab", Utf8), 0u);
  EXPECT_EQ(AnsiPos("\\", "\x95\x5C\\", Sjis), 3u);  // 表 then a real backslash
  EXPECT_EQ(AnsiPos("A", "\x83\x41", Sjis), 0u);      // ア ends in 'A'
  EXPECT_EQ(AnsiPos("\x80\x8C", "「", Utf8), 0u);     // tail of a sequence
  EXPECT_EQ(AnsiPos("\xAC", "🎬", Utf8), 0u);         // last byte of a four-byte sequence
  EXPECT_EQ(AnsiPos("\x80", "\xC3\xA9\x80", Utf8), 3u);  // a stray byte after é is a character
  EXPECT_EQ(AnsiPos("A", "\x83\x41" "A", Sjis), 3u);  // past the trail byte to the real one
}

TEST(TextOps, StringReplaceFlags) {
  EXPECT_EQ(StringReplace("aXa", "a", "b", 0, Utf8), "bXa");
  EXPECT_EQ(StringReplace("aXa", "a", "b", rfReplaceAll, Utf8), "bXb");
  EXPECT_EQ(StringReplace("aaa", "aa", "b", rfReplaceAll, Utf8), "ba");  // no overlap
  EXPECT_EQ(StringReplace("AbC", "c", "!", rfReplaceAll | rfIgnoreCase, Utf8), "Ab!");
  EXPECT_EQ(StringReplace("Mp4 mP4", "MP4", "mp4", rfReplaceAll | rfIgnoreCase, Utf8), "mp4 mp4");
  EXPECT_EQ(StringReplace("abc", "", "x", rfReplaceAll, Utf8), "abc");
  EXPECT_EQ(StringReplace("", "a", "x", rfReplaceAll, Utf8), "");
}

TEST(TextOps, CaseMappingKeepsLengthAndTrailBytes) {
  const struct {
    std::string text, lower, upper;
    Codepage cp;
  } cases[] = {
      {"aZ1.", "az1.", "AZ1.", Utf8},
      {"\x83\x41\x83\x61", "\x83\x41\x83\x61", "\x83\x41\x83\x61", Sjis},  // ア ヂ untouched
      {"\x82\x60\x82\x81", "\x82\x81\x82\x81", "\x82\x60\x82\x60", Sjis},  // Ａａ
      {"Ａａ", "ａａ", "ＡＡ", Utf8},
      {"AzZaＺｚ", "azzaｚｚ", "AZZAＺＺ", Utf8},  // the ends of each range
      {"AzZa\x82\x79\x82\x9A", "azza\x82\x9A\x82\x9A", "AZZA\x82\x79\x82\x79", Sjis},  // Ｚｚ
      {"\xEF\xBC", "\xEF\xBC", "\xEF\xBC", Utf8},  // truncated, left alone
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AnsiLowerCase(c.text, c.cp), c.lower) << Hex(c.text);
    EXPECT_EQ(AnsiUpperCase(c.text, c.cp), c.upper) << Hex(c.text);
  }
}

TEST(TextOps, AlnumZenToHanTouchesOnlyLettersAndDigits) {
  const struct {
    const char* what;
    std::string text, expected;
    Codepage cp;
  } cases[] = {
      {"the ends of each range", "０９ＡＺａｚ", "09AZaz", Utf8},
      {"a recording name", "番組ＳＰ 第０３話「Ａ」.ＭＰ４", "番組SP 第03話「A」.MP4", Utf8},
      {"symbols, spaces and katakana stay", "＃＠［］　！ア ｱ（３）", "＃＠［］　！ア ｱ（3）", Utf8},
      {"just outside the ranges", "／：＠［｀｛", "／：＠［｀｛", Utf8},  // U+FF0F FF1A FF20 FF3B FF40 FF5B
      {"truncated sequence left alone", "\xEF\xBC", "\xEF\xBC", Utf8},
      {"cp932 ends of each range", "\x82\x4F\x82\x58\x82\x60\x82\x79\x82\x81\x82\x9A", "09AZaz", Sjis},
      {"cp932 codes next to the ranges stay", "\x82\x4E\x82\x5F\x82\x80\x82\x9B", "\x82\x4E\x82\x5F\x82\x80\x82\x9B", Sjis},
      // ≠ (81 82) then "O": read from its second byte, 82 4F would be ０.
      {"cp932 trail byte 82 never starts a character", "\x81\x82\x4F", "\x81\x82\x4F", Sjis},
      {"cp932 hiragana stays", "\x82\xA0\x82\xA2", "\x82\xA0\x82\xA2", Sjis},
  };
  for (const auto& c : cases) EXPECT_EQ(AlnumZenToHan(c.text, c.cp), c.expected) << c.what << " " << Hex(c.text);
}

TEST(TextOps, PathParts) {
  const struct {
    std::string path, filePath, fileDir, fileName, ext;
  } cases[] = {
      {"/data/anime/a.MP4", "/data/anime/", "/data/anime", "a.MP4", ".MP4"},
      {"/a.txt", "/", "/", "a.txt", ".txt"},
      {"a.txt", "", "", "a.txt", ".txt"},
      {"/data/old.d/readme", "/data/old.d/", "/data/old.d", "readme", ""},
      {"/data//x", "/data//", "/data//", "x", ""},
      {"/data/", "/data/", "/data", "", ""},
      {"C:\\dir\\a.b", "", "", "C:\\dir\\a.b", ".b"},  // no drive, no backslash separator
      {"/d/.profile", "/d/", "/d", ".profile", ".profile"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.path, Utf8), c.filePath) << c.path;
    EXPECT_EQ(ExtractFileDir(c.path, Utf8), c.fileDir) << c.path;
    EXPECT_EQ(ExtractFileName(c.path, Utf8), c.fileName) << c.path;
    EXPECT_EQ(ExtractFileExt(c.path, Utf8), c.ext) << c.path;
  }
  // The quick look of a name in its folder agrees with the slow one.
  const struct {
    std::string_view path, folder, name;
  } in[] = {
      {"/rec/a.MP4", "/rec", "a.MP4"}, {"/rec/sub/a.MP4", "/rec", ""}, {"/recx/a", "/rec", ""},
      {"/reca", "/rec", ""},           {"/rec//a", "/rec", "a"},        {"/rec/a/", "/rec", "a"},
      {"/a", "/", "a"},                {"a", "", "a"},                  {"/rec", "/rec", ""},
  };
  for (const auto& c : in) EXPECT_EQ(NameInFolder(c.path, c.folder), c.name) << c.path << " in " << c.folder;
  const struct {
    std::string_view path, folder;
    bool below;
  } below[] = {{"/rec", "/rec", true}, {"/rec/a", "/rec", true}, {"/record", "/rec", false}, {"/a", "/", true},
               {"/a", "", true},       {"/re", "/rec", false}};
  for (const auto& c : below) EXPECT_EQ(IsAtOrBelow(c.path, c.folder), c.below) << c.path << " at or below " << c.folder;
  EXPECT_EQ(ChangeFileExt("a.TAR.GZ", ".gz", Utf8), "a.TAR.gz");
  EXPECT_EQ(ChangeFileExt("README", ".txt", Utf8), "README.txt");
  EXPECT_EQ(ChangeFileExt("report.final.txt", "", Utf8), "report.final");
}

TEST(TextOps, TrimAndLastChar) {
  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(Trim(std::string("\0x\0", 3)), "x");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(AnsiLastChar("", Utf8), std::string::npos);
  EXPECT_EQ(AnsiLastChar("a\x95\x5C", Sjis), 1u);  // 表: its first byte
  EXPECT_EQ(AnsiLastChar("a🎬", Utf8), 1u);
  EXPECT_EQ(AnsiLastChar("a\xF0\x9F", Utf8), 2u);  // a broken tail counts byte by byte
}

}  // namespace
}  // namespace quor
