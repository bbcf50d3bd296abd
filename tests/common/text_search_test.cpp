#include "lumenfold/common/text_search.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace lumenfold::common {
namespace {

TEST(TextSearchTest, FindsWhatFindFinds) {
  struct Case {
    std::string_view haystack;
    std::string_view needle;
  };
  const Case cases[] = {
      {"request handler", "handler"},
      {"request handler", "request"},
      {"request handler", "quest h"},
      {"request handler", "Handler"},
      {"request handler", ""},
      {"", ""},
      {"", "x"},
      {"ab", "abc"},
      {"aaab", "aab"},
      {"caf\u00e9 cr\u00e8me", "\u00e8m"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(find_text(c.haystack, c.needle), c.haystack.find(c.needle)) << c.haystack << " / " << c.needle;
    EXPECT_EQ(contains_text(c.haystack, c.needle), c.haystack.find(c.needle) != std::string_view::npos);
  }
}

TEST(TextSearchTest, FindsALongRepeatedNeedleAtTheEndOfALongRun) {
  // The shape that costs std::string::find haystack x needle.
  const std::string haystack = std::string(1'000'000, 'x') + "y";
  const std::string needle = std::string(5'000, 'x') + "y";
  EXPECT_EQ(find_text(haystack, needle), 995'000u);
  EXPECT_FALSE(contains_text(haystack, std::string(5'000, 'x') + "z"));
}

}  // namespace
}  // namespace lumenfold::common
