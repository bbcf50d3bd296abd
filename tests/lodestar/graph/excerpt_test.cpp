#include "lumenfold/lodestar/graph/excerpt.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lumenfold::lodestar {
namespace {

using Terms = std::vector<std::string>;

// Lines "line 0" .. "line <n-1>", with `marker` appended to the hit lines.
std::string numbered_lines(int n, const std::vector<int>& hits) {
  std::string text;
  for (int i = 0; i < n; ++i) {
    text += "line " + std::to_string(i);
    for (int h : hits) {
      if (h == i) text += " Needle";
    }
    text += "\n";
  }
  return text;
}

std::string lines_between(int first, int last, const std::vector<int>& hits) {
  std::string all = numbered_lines(last + 1, hits);
  std::string out;
  size_t pos = 0;
  for (int i = 0; i <= last; ++i) {
    size_t eol = all.find('\n', pos);
    if (i >= first) {
      if (!out.empty()) out += "\n";
      out += all.substr(pos, eol - pos);
    }
    pos = eol + 1;
  }
  return out;
}

TEST(ExcerptByTermsTest, FallsBackToTheHeadOfTheText) {
  const std::string text = "first line\nsecond line\nthird";
  EXPECT_EQ(excerpt_by_terms(text, {}, 8), "first li");
  EXPECT_EQ(excerpt_by_terms(text, {"absent"}, 12), "first line\ns");
  EXPECT_EQ(excerpt_by_terms("no breaks at all", {"zzz"}, 5), "no br");
  EXPECT_EQ(excerpt_by_terms("", {"zzz"}, 5), "");
  // Cut in code points, never inside a character.
  EXPECT_EQ(excerpt_by_terms("\xC3\xA9t\xC3\xA9 caf\xC3\xA9", {}, 3), "\xC3\xA9t\xC3\xA9");
}

TEST(ExcerptByTermsTest, OneHitGivesTwelveLinesAroundIt) {
  const std::string text = numbered_lines(100, {5});
  EXPECT_EQ(excerpt_by_terms(text, {"needle"}, 100000), lines_between(0, 17, {5}));
}

TEST(ExcerptByTermsTest, HitsSharingAWindowStartGiveOneChunk) {
  const std::string text = numbered_lines(100, {5, 6});
  // The window of line 6 also starts at 0, so only the first window is kept.
  EXPECT_EQ(excerpt_by_terms(text, {"needle"}, 100000), lines_between(0, 17, {5, 6}));
}

TEST(ExcerptByTermsTest, OverlappingWindowsAreSeparated) {
  const std::string text = numbered_lines(100, {30, 31});
  const std::string expected =
      lines_between(18, 42, {30, 31}) + "\n\n/* --- excerpt --- */\n\n" + lines_between(19, 43, {30, 31});
  EXPECT_EQ(excerpt_by_terms(text, {"needle"}, 100000), expected);
}

TEST(ExcerptByTermsTest, StopsOnceTheChunksReachTheLimit) {
  const std::string text = numbered_lines(100, {30, 60});
  // The first chunk alone reaches the limit, so the hit on line 60 is
  // never looked at and the result is the first chunk cut to the limit.
  const std::string first = lines_between(18, 42, {30, 60});
  EXPECT_EQ(excerpt_by_terms(text, {"needle"}, 20), first.substr(0, 20));
  const std::string both = first + "\n\n/* --- excerpt --- */\n\n" + lines_between(48, 72, {30, 60});
  EXPECT_EQ(excerpt_by_terms(text, {"needle"}, 100000), both);
}

TEST(ExcerptByTermsTest, SplitsAtEveryLineBoundary) {
  // Form feed and U+2028 end lines too; the window is the whole text.
  const std::string text = "alpha\fbeta needle\xE2\x80\xA8gamma\r\ndelta";
  EXPECT_EQ(excerpt_by_terms(text, {"needle"}, 1000), "alpha\nbeta needle\ngamma\ndelta");
}

}  // namespace
}  // namespace lumenfold::lodestar
