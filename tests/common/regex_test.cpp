#include "lumenfold/common/regex.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace lumenfold::common {
namespace {

std::vector<std::string> all_group(const Regex& re, std::string_view text, int g) {
  std::vector<std::string> out;
  for (const auto& m : re.find_all(text).matches) out.emplace_back(m.group(g));
  return out;
}

TEST(RegexTest, WordAndSpaceClassesAreUnicodeAware) {
  Regex word("\\w+");
  EXPECT_EQ(all_group(word, "na\xC3\xAFve caf\xC3\xA9", 0), (std::vector<std::string>{"na\xC3\xAFve", "caf\xC3\xA9"}));
  Regex space("a\\sb");
  EXPECT_TRUE(space
                  .search("a\xC2\xA0"
                          "b")
                  .has_value());
  Regex boundary("\\bx\\b");
  EXPECT_FALSE(boundary.search("\xC3\xA9x").has_value());
}

TEST(RegexTest, MultilineAnchorsUseOnlyLineFeed) {
  Regex re("^def (\\w+)", kRegexMultiline);
  EXPECT_EQ(all_group(re, "def a\n  def b\ndef c\rdef d", 1), (std::vector<std::string>{"a", "c"}));
  Regex plain("^def (\\w+)");
  EXPECT_EQ(all_group(plain, "def a\ndef c", 1), (std::vector<std::string>{"a"}));
  Regex dot("a.b");
  EXPECT_FALSE(dot.search("a\nb").has_value());
  EXPECT_TRUE(dot.search("a\rb").has_value());
  EXPECT_TRUE(Regex("a.b", kRegexDotAll).search("a\nb").has_value());
}

TEST(RegexTest, CaselessLazyAndLookahead) {
  Regex re("import\\s+.*?\\s+from\\s+['\"]([^'\"]+)['\"]", kRegexCaseless);
  EXPECT_EQ(all_group(re, "IMPORT a from 'x'\nimport b from \"y\"", 1), (std::vector<std::string>{"x", "y"}));
  Regex look("(?!if\\b)(\\w+)\\(");
  EXPECT_EQ(all_group(look, "if(x) run(y)", 1), (std::vector<std::string>{"f", "run"}));
}

TEST(RegexTest, GroupsThatDidNotTakePart) {
  Regex re("^def (\\w+)|^class (\\w+)", kRegexMultiline);
  auto ms = re.find_all("class A\ndef b").matches;
  ASSERT_EQ(ms.size(), 2u);
  EXPECT_FALSE(ms[0].has(1));
  EXPECT_EQ(ms[0].group(1), "");
  EXPECT_EQ(ms[0].group_or(1, 2), "A");
  EXPECT_EQ(ms[1].group_or(1, 2), "b");
  EXPECT_FALSE(ms[1].has(7));
}

TEST(RegexTest, EmptyMatchesAdvanceByOneCharacter) {
  Regex re("x*");
  std::vector<std::pair<size_t, size_t>> spans;
  for (const auto& m : re.find_all("a\xC3\xA9xx").matches) spans.emplace_back(m.start(), m.end());
  // Before "a", before "é", "xx", and the end.
  std::vector<std::pair<size_t, size_t>> expected = {{0, 0}, {1, 1}, {3, 5}, {5, 5}};
  EXPECT_EQ(spans, expected);
  EXPECT_EQ(re.replace_all("abxd", "-"), "-a-b--d-");
}

TEST(RegexTest, ReplaceWithGroupReferences) {
  Regex camel("([a-z0-9])([A-Z])");
  EXPECT_EQ(camel.replace_all("getHTTPResponse", "\\1 \\2"), "get HTTPResponse");
  Regex acronym("([A-Z]+)([A-Z][a-z])");
  EXPECT_EQ(acronym.replace_all("get HTTPResponse", "\\g<1> \\g<2>"), "get HTTP Response");
}

TEST(RegexTest, AnchoredForms) {
  Regex re("\\s*/\\*\\*?\\s*([^\\n*]{3,})");
  EXPECT_TRUE(re.match_at_start("  /** doc text").has_value());
  EXPECT_FALSE(re.match_at_start("x /** doc text").has_value());
  EXPECT_TRUE(Regex("GET|POST").full_match("POST"));
  EXPECT_FALSE(Regex("GET|POST").full_match("POSTS"));
  EXPECT_EQ(Regex("[,\\s]+").split("a, b,c"), (std::vector<std::string_view>{"a", "b", "c"}));
}

TEST(RegexTest, BacktrackingLimitStopsWithPartialResult) {
  Regex re("(x+x+)+y");
  // After the first match, a long run of x that is not followed by y makes
  // the nested quantifiers backtrack exponentially.
  std::string text = "xxy " + std::string(40, 'x') + "!y";
  RegexMatches result = re.find_all(text);
  EXPECT_TRUE(result.limit_hit);
  ASSERT_EQ(result.matches.size(), 1u);
  EXPECT_EQ(result.matches[0].group(0), "xxy");
}

TEST(RegexTest, InvalidSubjectBytesDoNotBreakMatching) {
  Regex re("\\w+");
  EXPECT_EQ(all_group(re,
                      "ab\xFF"
                      "cd",
                      0),
            (std::vector<std::string>{"ab", "cd"}));
}

TEST(RegexTest, BadPatterns) {
  EXPECT_THROW(Regex("(unclosed"), std::invalid_argument);
  std::string error;
  EXPECT_EQ(Regex::compile("[z-a]", kRegexNone, &error), nullptr);
  EXPECT_FALSE(error.empty());
  auto ok = Regex::compile(regex_escape("a.b*c(d)"), kRegexNone, &error);
  ASSERT_NE(ok, nullptr);
  EXPECT_TRUE(ok->full_match("a.b*c(d)"));
  EXPECT_FALSE(ok->full_match("aXbbc(d)"));
}

}  // namespace
}  // namespace lumenfold::common
