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

TEST(NameRules, FullWidthLettersAndDigitsRightBeforeTheList) {
  const RenameOptions width = With(None(), &RenameOptions::AlnumZenToHan);
  Check({
            {"letters and digits", width, "番組ＳＰ 第０３話（３）＃１.ＭＰ４", "番組SP 第03話（3）＃1.MP4"},
            // The list sees ASCII: a pair written with half-width text finds it.
            {"before the list", WithPairs(width, {{"SP", "スペシャル"}}), "番組ＳＰ.ts", "番組スペシャル.ts"},
            // After the extension rule: what it made half-width stays upper case.
            {"after the extension rule", With(width, &RenameOptions::LowerExt), "a.ＭＰ４", "a.mp4"},
        },
        Codepage::Utf8);
  Check({{"cp932", width, "\x82\x72\x82\x6F" DAI "\x82\x4F\x82\x52" WA, "SP" DAI "03" WA}}, Codepage::Cp932);
}

// Regex rows through the run's own object: pattern, replacement, flags, name,
// what comes out and how.
TEST(NameRulesRegex, RowsInTheList) {
  const auto regex = [](std::string pattern, std::string replacement) {
    return ReplacePair{std::move(pattern), std::move(replacement), true};
  };
  const std::string aaa(200, 'a');
  // The README's rows: one-character markers in either bracket width and
  // the enclosed symbols; an episode number after # or ＃.
  const ReplacePair markers = regex("[\\[［【(（][^0-9０-９\\]］】)）][\\]］】)）]|[\\x{1F210}-\\x{1F23B}]", "");
  const ReplacePair episode = regex("[#＃](\\d+)", "第$1話");
  // Each search of these is well within what one search may take; many
  // searches, or two rows, are not within what a name may take.
  const ReplacePair manySearches = regex("(*NO_JIT)(?:(?:.?){17}\\x01|.)", "$0");
  const ReplacePair halfTheBound = regex("(*NO_JIT)(?:(?:.?){13}\\x01|.)", "$0");
  std::string sixtyFourTimes;
  for (int i = 0; i < 64; ++i) sixtyFourTimes += "$0";
  const ReplacePair multiply = regex(".+", sixtyFourTimes);
  const struct {
    const char* what;
    std::vector<ReplacePair> rows;
    bool ignoreCase;
    std::string name;
    std::string expected;
    RuleFailure failure = RuleFailure::None;
    Codepage cp = Codepage::Utf8;
  } cases[] = {
      {"groups move text", {regex("(.+) 第(\\d+)話", "$1 #$2")}, false, "星空 第3話.mp4", "星空 #3.mp4"},
      {"${1} before a digit", {regex("第(\\d+)話", "第${1}0話")}, false, "第3話", "第30話"},
      {"named groups", {regex("(?<show>.+) 第(?<ep>\\d+)話", "${ep} ${show}")}, false, "星空 第3話", "3 星空"},
      {"a name of two groups takes the one that is set", {regex("(?J)(?<n>a)|(?<n>b)", "<${n}>")}, false, "ab",
       "<a><b>"},
      {"a group that took no part inserts nothing", {regex("(x)?y", "[$1]")}, false, "y", "[]"},
      {"$$ is a dollar, a backslash is a character", {regex("円", "$$\\1")}, false, "100円", "100$\\1"},
      {"$0 is the whole match", {regex("\\d+", "<$0>")}, false, "a12b3", "a<12>b<3>"},
      {"caseless", {regex("\\[hd\\]", "")}, true, "a[HD].ts", "a.ts"},
      {"case counts without ignore case", {regex("\\[hd\\]", "")}, false, "a[HD].ts", "a[HD].ts"},
      {"caseless full width", {regex("ｓｐ", "SP")}, true, "番組ＳＰ", "番組SP"},
      {"a match at the start", {regex("^", "[新]")}, false, "a.mp4", "[新]a.mp4"},
      {"a match at the end, extension included", {regex("\\.MP4$", ".mp4")}, false, "MP4.MP4", "MP4.mp4"},
      // Empty matches are replaced too, as in Perl: between characters and
      // at both ends, but never twice at one place.
      {"an empty match between every character", {regex("x*", "-")}, false, "ab", "-a-b-"},
      {"an empty match right after a match", {regex("a*", "-")}, false, "baac", "-b--c-"},
      {"an empty match before the extension", {regex("(?=\\.[^.]+$)", "_v2")}, false, "a.b.mp4", "a.b_v2.mp4"},
      {"a pattern over a two-byte character", {regex(".話", "X")}, false, "第3話「題」", "第X「題」"},
      {"no match leaves the name", {regex("z+", "")}, false, "abc", "abc"},
      {"inserted text is not searched again", {regex("a", "aa")}, false, "a.txt", "aa.txt"},
      {"plain rows keep [ and . plain", {{"[字].", ""}, regex("[字].", "")}, false, "a[字].ts字x", "ats"},
      {"rows in list order with plain rows", {{"#", "＃"}, regex("＃(\\d)", "第$1話"), {"話", "話 "}}, false,
       "#3.mp4", "第3話 .mp4"},
      {"the marker row", {markers}, false, "星空[字]【再】(Ｓ)（二）\xF0\x9F\x88\x91\xF0\x9F\x88\x9E（3）.mp4",
       "星空（3）.mp4"},
      {"the episode row", {episode}, false, "星空 ＃3.mp4", "星空 第3話.mp4"},
      // A row that reaches its bound: no new name, the row named.
      {"a catastrophic pattern", {{"!", "?"}, regex("(a+)+$", "x")}, false, aaa + "!.txt", aaa + "?.txt",
       RuleFailure::MatchLimit},
      {"the bound is the whole name's, over all its searches", {manySearches}, false, std::string(40, 'a'), "",
       RuleFailure::MatchLimit},
      {"... and over all its rows", {halfTheBound, halfTheBound}, false, "aaaaaaaaaa", "", RuleFailure::MatchLimit},
      {"... of which one alone stays within it", {halfTheBound}, false, "aaaaaaaaaa", "aaaaaaaaaa"},
      {"... also what replacements write", {multiply, multiply, multiply}, false, aaa, "", RuleFailure::MatchLimit},
      // CP932 names are matched as text and written back in CP932.
      {"cp932 name", {regex("第(\\d)話", "#$1"), {"#", "＃"}}, false, DAI "3" WA ".MP4", "\x81\x94" "3.MP4",
       RuleFailure::None, Codepage::Cp932},
      {"cp932 caseless full width", {regex("ｓｐ", "sp")}, true, "\x82\x72\x82\x6F", "sp", RuleFailure::None,
       Codepage::Cp932},
      {"cp932 cannot hold the result", {regex("話", "\xF0\x9F\x8E\xAC")}, false, DAI "3" WA ".MP4",
       "第3\xF0\x9F\x8E\xAC.MP4", RuleFailure::NotInCp932, Codepage::Cp932},
      {"a later regex row takes the character out again", {regex("話", "\xF0\x9F\x8E\xAC"), regex("\\x{1F3AC}", "")},
       false, DAI "3" WA ".MP4", DAI "3.MP4", RuleFailure::None, Codepage::Cp932},
      {"a plain row after it comes too late", {regex("話", "\xF0\x9F\x8E\xAC"), {"\xF0\x9F\x8E\xAC", ""}}, false,
       DAI "3" WA ".MP4", "第3\xF0\x9F\x8E\xAC.MP4", RuleFailure::NotInCp932, Codepage::Cp932},
      // 85 40 is well formed CP932 with no character behind it.
      {"cp932 code without a character", {regex("a", "b")}, false, "a\x85\x40", "a\x85\x40", RuleFailure::NotText,
       Codepage::Cp932},
  };
  for (const auto& c : cases) {
    RenameOptions o = None();
    o.IgnoreCase = c.ignoreCase;
    o.ReplaceList = c.rows;
    const CompiledRules rules(o);
    ASSERT_TRUE(rules.Errors().empty()) << c.what << ": " << rules.Errors().front().Message;
    std::string got;
    const RuleResult result = rules.Apply(c.name, c.cp, got);
    EXPECT_EQ(result.Failure, c.failure) << c.what;
    std::size_t lastRegex = 0;
    for (std::size_t i = 0; i < c.rows.size(); ++i) lastRegex = c.rows[i].Regex ? i : lastRegex;
    if (result) {
      EXPECT_EQ(result.Row, lastRegex) << c.what << ": the regex row that failed";
    }
    // A failure that leaves a name to show: the text CP932 cannot hold.
    if (!result || result.Failure == RuleFailure::NotInCp932) {
      EXPECT_EQ(got, c.expected) << c.what << ": got " << Hex(got) << " want " << Hex(c.expected);
    }
  }
}

// A pattern or a replacement that does not compile is found before any name
// is touched, with where and why.
TEST(NameRulesRegex, BrokenRowsSayWhereAndWhy) {
  const struct {
    const char* what;
    std::string pattern, replacement;
    bool inReplacement;
    std::size_t offset;  // characters
    std::string message;
  } cases[] = {
      {"missing parenthesis", "(字|再", "", false, 4, "missing closing parenthesis"},
      {"offset in characters", "[字再", "", false, 3, "missing terminating ] for character class"},
      {"nothing to repeat", "話*+?", "", false, 3, "quantifier does not follow a repeatable item"},
      {"\\C would split a character", "a\\C", "", false, 3, "using \\C is disabled"},
      {"not UTF-8", "a\xFF", "", false, 1, "UTF-8 error"},
      {"a group the pattern lacks", "(a)", "$2", true, 0, "the pattern has no group 2"},
      {"a braced group it lacks", "(a)", "x${12}", true, 1, "the pattern has no group 12"},
      {"an unknown name", "(?<ep>\\d+)", "第${話数}", true, 1, "the pattern has no group named '話数'"},
      {"a dollar before a letter", "a", "$x", true, 0, "'$' must be followed by"},
      {"a dollar at the end", "a", "価格$", true, 2, "'$' must be followed by"},
      {"an unclosed brace", "(a)", "${1", true, 0, "missing '}'"},
  };
  for (const auto& c : cases) {
    RenameOptions o;
    o.ReplaceList = {{"plain (", ""}, {c.pattern, c.replacement, true}, {"", "(", true}};
    const std::vector<PatternError> errors = CheckPatterns(o);
    ASSERT_EQ(errors.size(), 1u) << c.what;
    EXPECT_EQ(errors[0].Row, 1u) << c.what;
    EXPECT_EQ(errors[0].InReplacement, c.inReplacement) << c.what;
    EXPECT_EQ(errors[0].Offset, c.offset) << c.what;
    EXPECT_NE(errors[0].Message.find(c.message), std::string::npos) << c.what << ": " << errors[0].Message;
  }
  RenameOptions o;
  o.ReplaceList = {{"(", "", true}};
  EXPECT_EQ(PatternErrorText(CheckPatterns(o).at(0)),
            "置換リスト 1 行目の正規表現が正しくありません（位置 1）: missing closing parenthesis");
}

}  // namespace
}  // namespace quor
