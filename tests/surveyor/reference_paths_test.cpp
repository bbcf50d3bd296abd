#include "lumenfold/surveyor/reference_paths.h"

#include <array>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "lumenfold/common/regex.h"

namespace lumenfold::surveyor {
namespace {

std::vector<std::string> as_strings(const std::vector<std::string_view>& views) { return {views.begin(), views.end()}; }

struct PathCase {
  std::string_view text;
  std::vector<std::string> expected;
};

TEST(FindReferencePathsTest, FollowsTheBacktrackingEngineOnKnownCases) {
  const PathCase cases[] = {
      {"", {}},
      {"see docs/setup.md and README.md", {"docs/setup.md", "README.md"}},
      // The first alternative that fits wins, even when a longer one would.
      {"cfg/a.json", {"cfg/a.js"}},
      {"ui/b.tsx", {"ui/b.ts"}},
      {"ui/b.jsx", {"ui/b.js"}},
      {"ci/x.yaml ci/y.yml", {"ci/x.yaml", "ci/y.yml"}},
      {"App/View.swift", {"App/View.swift"}},
      // The scan resumes right after a match, inside the rest of the word.
      {"a/b.json.md", {"a/b.js", "on.md"}},
      // The dot must follow the whole run: an inner dot restarts the search.
      {"src/a.b.py", {"b.py"}},
      {"https://example.com/tools/app.py", {"com/tools/app.py"}},
      {"http://localhost/scripts/app.py", {"//localhost/scripts/app.py"}},
      {"a..go", {}},
      {".go", {}},
      {"x.GO x.Py", {}},
      // Non-ASCII letters are not in the class and split runs.
      {"café/menu.md", {"/menu.md"}},
      {"my-lib_2/mod.go)", {"my-lib_2/mod.go"}},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(as_strings(find_reference_paths(c.text)), c.expected) << c.text;
  }
}

TEST(FindReferencePathsTest, LongRunsWithoutExtensionGiveNothing) {
  std::string identifier;
  for (int i = 0; i < 30000; ++i) identifier += "a/";
  EXPECT_TRUE(find_reference_paths(identifier).empty());
  EXPECT_TRUE(find_reference_paths(identifier + ".c").empty());
  std::vector<std::string_view> whole = find_reference_paths(identifier + ".md");
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0].size(), identifier.size() + 3);
}

// The hand-written scan must agree with the plain pattern on every input.
// The pieces mix single characters with extension fragments so that most
// texts hold several candidate mentions, some cut short or run together.
TEST(FindReferencePathsTest, AgreesWithThePlainPatternOnRandomText) {
  const common::Regex plain(R"re(([A-Za-z0-9_\-\/]+\.(go|py|ts|tsx|js|jsx|swift|md|json|yaml|yml)))re");
  const std::array<std::string_view, 26> pieces = {"a",  "j",   "s",   "o",    "n",     "t",   "x", "/",  ".",
                                                   "-",  "_",   " ",   "é",    "Z",     "9",   ".", "go", "py",
                                                   "md", ".js", ".ts", "yaml", "swift", "yml", ")", "\n"};
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 40);
  int texts_with_matches = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    for (int n = length(rng); n > 0; --n) text += pieces[pick(rng)];
    std::vector<std::string> expected;
    common::RegexMatches all = plain.find_all(text);
    ASSERT_FALSE(all.limit_hit);
    for (const common::RegexMatch& m : all.matches) expected.emplace_back(m.group(1));
    if (!expected.empty()) ++texts_with_matches;
    ASSERT_EQ(as_strings(find_reference_paths(text)), expected) << text;
  }
  EXPECT_GT(texts_with_matches, 10000);
}

}  // namespace
}  // namespace lumenfold::surveyor
