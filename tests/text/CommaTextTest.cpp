#include "text/CommaText.h"

#include <gtest/gtest.h>

namespace quor {
namespace {

using Items = std::vector<std::string>;

TEST(CommaText, WritesQuotesOnlyWhereNeeded) {
  const struct {
    const char* what;
    Items items;
    std::string text;
  } cases[] = {
      {"four integers", {"234", "257", "640", "400"}, "234,257,640,400"},
      {"two empty cells", {"", ""}, ","},
      {"empty old, new text", {"", "x"}, ",x"},
      {"inner space", {"a b", "c"}, "\"a b\",c"},
      {"comma", {"a,b", ""}, "\"a,b\","},
      {"double quote doubled", {"say \"hi\"", "q"}, "\"say \"\"hi\"\"\",q"},
      {"control character", {"a\tb", "x\ny"}, "\"a\tb\",\"x\ny\""},
      {"DEL", {"a\x7F", "b"}, "\"a\x7F\",b"},
      {"japanese stays bare", {"第1話", "「」"}, "第1話,「」"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToCommaText(c.items), c.text) << c.what;
    EXPECT_EQ(FromCommaText(c.text), c.items) << c.what;
  }
}

TEST(CommaText, ReadsWhatItNeverWrites) {
  const struct {
    const char* what;
    std::string text;
    Items items;
  } cases[] = {
      {"empty text is no item", "", {}},
      {"blanks only", "   ", {}},
      {"unclosed quote takes the rest", "\"a,b", {"a,b"}},
      {"blanks between items", " a ,  b ", {"a", "b"}},
      {"unquoted item keeps inner space", "a b,c", {"a b", "c"}},
      {"junk after closing quote dropped", "\"a\"xyz,b", {"a", "b"}},
      {"trailing comma gives an empty item", "a,", {"a", ""}},
      {"lone quote", "\"", {""}},
  };
  for (const auto& c : cases) EXPECT_EQ(FromCommaText(c.text), c.items) << c.what;
}

}  // namespace
}  // namespace quor
