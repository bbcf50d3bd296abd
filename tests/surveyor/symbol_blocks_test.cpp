#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "lumenfold/surveyor/symbols.h"

namespace lumenfold::surveyor {
namespace {

using Lines = std::vector<std::string_view>;

// `count` lines of filler text without braces.
Lines filler(Lines head, size_t count) {
  constexpr std::string_view kFiller = "  work();";
  head.insert(head.end(), count, kFiller);
  return head;
}

TEST(FindBlockEndTsTest, CountsBracesAndIgnoresEscapedOnes) {
  struct Case {
    const char* what;
    Lines lines;
    size_t start;
    size_t end;
  };
  const Case cases[] = {
      {"closes on a later line", {"f() {", "  if (x) {", "  }", "}", "g();"}, 0, 3},
      {"opens and closes on the start line", {"f() { return 1; }", "g();"}, 0, 0},
      {"no brace on the start line", {"type A =", "  B;", "class C {", "}"}, 0, 3},
      {"closing before opening ends on the opening line", {"}", "} else {", "x", "}"}, 0, 1},
      {"escaped opening brace is no block", {"f() {", R"(  re = /\{/;)", "}", "x", "}"}, 0, 2},
      {"escaped closing brace closes nothing", {"f() {", R"(  re = /\}/;)", "}"}, 0, 2},
      {"never closes in a short file", {"f() {", "a", "b"}, 0, 2},
      {"starts mid-file", {"x", "f() {", "}", "y"}, 1, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(find_block_end_ts(c.lines, c.start), c.end) << c.what;
  }
}

TEST(FindBlockEndTsTest, GivesUpAfterFourHundredLines) {
  // Closed on the 400th line from the start: still found.
  Lines closed_in_time = filler({"pad", "f() {"}, 398);
  closed_in_time.push_back("}");  // index 400 = start + 399
  EXPECT_EQ(find_block_end_ts(closed_in_time, 1), 400u);

  // Closed one line later: out of reach, so start + 100.
  Lines closed_late = filler({"pad", "f() {"}, 399);
  closed_late.push_back("}");
  EXPECT_EQ(find_block_end_ts(closed_late, 1), 101u);

  // Never closed, file longer than 100 lines after the start.
  EXPECT_EQ(find_block_end_ts(filler({"f() {"}, 150), 0), 100u);
}

TEST(FindBlockEndPyTest, EndsBeforeTheNextDefinitionAtTheSameLevel) {
  const Lines lines = {
      "import os",                  // 0
      "",                           // 1
      "def load(path):",            // 2
      "    with open(path) as f:",  // 3
      "        return f.read()",    // 4
      "",                           // 5
      "CACHE = load('x')",          // 6: module statement, part of load
      "   ",                        // 7
      "",                           // 8
      "class Store:",               // 9
      "    @property",              // 10
      "    def size(self):",        // 11
      "        class Inner:",       // 12
      "  class Shallow:",           // 13: "class" must be in column 0 to stop
      "  def shallow():",           // 14: an indented def stops a deeper block
      "@app.get('/x')",             // 15
      "async def handler():",       // 16
      "    pass",                   // 17
      "",                           // 18
      "async def other():",         // 19
  };
  struct Case {
    size_t start;
    size_t end;
  };
  const Case cases[] = {{2, 6}, {9, 14}, {11, 13}, {16, 17}, {19, 19}, {0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(find_block_end_py(lines, c.start), c.end) << "start " << c.start;
  }
}

TEST(FindBlockEndPyTest, IndentationCountsUnicodeWhiteSpace) {
  // Indentation is counted in characters: two no-break spaces (four bytes)
  // indent less than three spaces, so the inner def does not end the block.
  const Lines lines = {"\u00a0\u00a0def outer():", "   def inner():", "  def next():"};
  EXPECT_EQ(find_block_end_py(lines, 0), 1u);
}

TEST(BodyHashTest, HashesTheJoinedLines) {
  const Lines lines = {"a", "b", "c"};
  EXPECT_EQ(body_hash(lines, 0, 1), "8cdeb444");  // "a\nb"
  EXPECT_EQ(body_hash(lines, 2, 2), "4a8a08f0");  // "c"
  EXPECT_EQ(body_hash(lines, 2, 9), "4a8a08f0");  // cut at the last line
  EXPECT_EQ(body_hash({}, 0, 0), "d41d8cd9");     // nothing to join
}

}  // namespace
}  // namespace lumenfold::surveyor
