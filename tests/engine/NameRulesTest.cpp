#include "engine/rename/NameRules.h"

#include <gtest/gtest.h>

#include "tests/Hex.h"

namespace quor {
namespace {

using test::Hex;

// CP932 bytes of the characters the cases use.
#define HO "\xA2"       // ｢
#define HC "\xA3"       // ｣
#define ZO "\x81\x75"   // 「
#define ZC "\x81\x76"   // 」
#define WA "\x98\x62"   // 話
#define DAI "\x91\xE6"  // 第
#define HYO "\x95\x5C"  // 表 (trail byte is a backslash)
#define KAI "\x82\xA9\x82\xA2"  // かい (い ends in A2, the byte of ｢)
#define TITLE "\x83\x5E\x83\x43\x83\x67\x83\x8B"  // タイトル

RenameOptions None() {
  RenameOptions o;
  o.KakkoHanToZen = o.LowerExt = o.IgnoreCase = false;
  return o;
}

struct Case {
  const char* what;
  RenameOptions options;
  std::string name;
  std::string expected;
};

RenameOptions With(RenameOptions o, bool RenameOptions::*field, bool on = true) {
  o.*field = on;
  return o;
}

RenameOptions WithPairs(RenameOptions o, std::vector<ReplacePair> pairs) {
  o.ReplaceList = std::move(pairs);
  return o;
}

void Check(const std::vector<Case>& cases, Codepage cp) {
  for (const Case& c : cases) {
    const std::string got = ApplyNameRules(c.name, c.options, cp);
    EXPECT_EQ(got, c.expected) << c.what << ": got " << Hex(got) << " want " << Hex(c.expected);
  }
}

TEST(NameRulesCp932, BracketAndSpaceRules) {
  const RenameOptions design;
  const RenameOptions noZen = With(None(), &RenameOptions::WaSpaceKakko);
  Check({
            {"design options", design, DAI "1" WA HO TITLE HC ".MP4", DAI "1" WA ZO TITLE ZC ".mp4"},
            {"space put in", With(design, &RenameOptions::WaSpaceKakko), DAI "1" WA HO TITLE HC ".MP4",
             DAI "1" WA " " ZO TITLE ZC ".mp4"},
            {"no second space", With(design, &RenameOptions::WaSpaceKakko), DAI "1" WA " " ZO "A" ZC ".txt",
             DAI "1" WA " " ZO "A" ZC ".txt"},
            {"space taken out", With(None(), &RenameOptions::WaKakko), DAI "1" WA " " ZO "A" ZC ".txt",
             DAI "1" WA ZO "A" ZC ".txt"},
            {"both space options cancel", With(noZen, &RenameOptions::WaKakko), DAI "1" WA ZO "A" ZC ".txt",
             DAI "1" WA ZO "A" ZC ".txt"},
            {"space before half-width bracket", noZen, DAI "1" WA HO "A" HC ".txt", DAI "1" WA " " HO "A" HC ".txt"},
            {"い is no bracket (steps 1, 6)", With(design, &RenameOptions::DeleteKakko), KAI ".txt", KAI ".txt"},
            {"remove brackets", With(None(), &RenameOptions::DeleteKakko), ZO "A" ZC ".txt", "A.txt"},
            {"only brackets gives empty", With(None(), &RenameOptions::DeleteKakko), ZO ZC, ""},
            {"half-width removed too", With(None(), &RenameOptions::DeleteKakko), HO "A" HC, "A"},
        },
        Codepage::Cp932);
}

TEST(NameRulesCp932, DeleteAfterKakko) {
  const RenameOptions cut = With(None(), &RenameOptions::DeleteAfterKakko);
  Check({
            {"tag dropped", cut, DAI "1" WA ZO "A" ZC "[HD].mkv", DAI "1" WA ZO "A" ZC ".mkv"},
            {"first bracket", cut, "A" ZC "B" ZC "C.txt", "A" ZC ".txt"},
            {"full width wins", cut, "A" HC "B" ZC "C.txt", "A" HC "B" ZC ".txt"},
            {"half width alone", cut, "A" HO "B" HC "C.txt", "A" HO "B" HC ".txt"},
            {"no extension", cut, "A" ZC "B", "A" ZC},
            {"bracket right before the dot", cut, "A" ZC ".txt", "A" ZC ".txt"},
            {"no bracket", cut, "AB.txt", "AB.txt"},
            // The dot stands before the bracket: there is no extension to keep.
            {"dot before bracket", cut, "v1.0" ZO "A" ZC " extra", "v1.0" ZO "A" ZC},
            {"after full-width conversion", With(cut, &RenameOptions::KakkoHanToZen), "A" HO "B" HC "C.txt",
             "A" ZO "B" ZC ".txt"},
        },
        Codepage::Cp932);
}

TEST(NameRulesCp932, LowerExt) {
  const RenameOptions lower = With(None(), &RenameOptions::LowerExt);
  Check({
            {"last extension only", lower, "a.TAR.GZ", "a.TAR.gz"},
            {"dot file is all extension", lower, ".HIDDEN", ".hidden"},
            {"no dot", lower, "README", "README"},
            {"trail byte 5C is no separator", lower, "ABC.D" HYO, "ABC.d" HYO},
            {"trail byte of ア is no letter", lower, "a.\x83\x41", "a.\x83\x41"},
            {"full-width capitals", lower, "a.\x82\x60\x82\x79", "a.\x82\x81\x82\x9A"},
            {"backslash is a name character", lower, "a.B\\C", "a.b\\c"},
        },
        Codepage::Cp932);
}

TEST(NameRulesCp932, ReplaceList) {
  const RenameOptions ic = None();
  const RenameOptions ignore = With(None(), &RenameOptions::IgnoreCase);
  Check({
            {"ignore case", WithPairs(ignore, {{"abc", "X"}}), "ABCabc.txt", "XX.txt"},
            {"exact case", WithPairs(ic, {{"abc", "X"}}), "ABCabc.txt", "ABCX.txt"},
            {"inserted text not searched", WithPairs(ic, {{"a", "aa"}}), "a.txt", "aa.txt"},
            {"pairs chain", WithPairs(ic, {{"A", "B"}, {"B", "C"}}), "A.txt", "C.txt"},
            {"empty old ignored", WithPairs(ic, {{"", "X"}}), "A.txt", "A.txt"},
            {"empty new deletes", WithPairs(ic, {{"[字]", ""}}), "A[字].ts", "A.ts"},
            {"bracket removed after rules", WithPairs(RenameOptions{}, {{ZC, ""}}), HO "A" HC ".TXT",
             ZO "A.txt"},
            {"header row is no pair", RenameOptions{}, "Old.txt", "Old.txt"},
            // 'a' (0x61) is also the trail byte of ヂ (83 61).
            {"no match on a trail byte", WithPairs(ignore, {{"a", "X"}}), "\x83\x61", "\x83\x61"},
            // ア (83 41) ends in 'A': the folded pair finds it there first.
            {"ignore case skips a trail byte for the real match", WithPairs(ignore, {{"a", "X"}}),
             "\x83\x41" "a", "\x83\x41" "X"},
            {"ignore case never rewrites a trail byte", WithPairs(ignore, {{"Z", "z"}}), "\x83\x61Z", "\x83\x61z"},
            {"lone lead byte never splits a character", WithPairs(ic, {{"\x83", "X"}}), "\x83\x41", "\x83\x41"},
            {"full-width letters fold", WithPairs(ignore, {{"\x82\x81", "b"}}), "\x82\x60.txt", "b.txt"},
        },
        Codepage::Cp932);
}

// The same rules in UTF-8, plus characters CP932 cannot hold.
TEST(NameRulesUtf8, SameCasesAndCharactersBeyondCp932) {
  const RenameOptions design;
  const RenameOptions all = [] {
    RenameOptions o;
    o.WaSpaceKakko = o.DeleteAfterKakko = o.DeleteKakko = true;
    return o;
  }();
  Check({
            {"design options", design, "第1話｢タイトル｣.MP4", "第1話「タイトル」.mp4"},
            {"space put in", With(design, &RenameOptions::WaSpaceKakko), "第1話｢A｣.MP4", "第1話 「A」.mp4"},
            {"space taken out", With(None(), &RenameOptions::WaKakko), "第1話 「A」.txt", "第1話「A」.txt"},
            {"cut after bracket", With(None(), &RenameOptions::DeleteAfterKakko), "第1話「A」[HD].mkv",
             "第1話「A」.mkv"},
            {"full width wins", With(None(), &RenameOptions::DeleteAfterKakko), "A｣B」C.txt", "A｣B」.txt"},
            {"remove brackets", With(None(), &RenameOptions::DeleteKakko), "「」", ""},
            {"wave dash kept", all, "第1話｢A〜B｣[字].TS", "第1話 A〜B.ts"},
            {"emoji kept", all, "🎬第2話「🍣」x.MP4", "🎬第2話 🍣.mp4"},
            {"full-width extension", With(None(), &RenameOptions::LowerExt), "a.ＭＰ４", "a.ｍｐ４"},
            {"ignore case on full width", WithPairs(design, {{"ａｂ", "x"}}), "ＡＢ.txt", "x.txt"},
            {"invalid bytes kept", design, "\xFF\xA2｢A｣.MP4", "\xFF\xA2「A」.mp4"},
            {"stray continuation byte is no bracket", design, "\xBD\xA2x", "\xBD\xA2x"},
            {"truncated sequence never matched", WithPairs(None(), {{"\xE3\x80", "X"}}), "「", "「"},
        },
        Codepage::Utf8);
}

}  // namespace
}  // namespace quor
