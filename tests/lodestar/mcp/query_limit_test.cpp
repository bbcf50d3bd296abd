#include "lumenfold/lodestar/mcp/query_limit.h"

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {
namespace {

using common::Json;

std::string repeat(std::string_view unit, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += unit;
  return out;
}

TEST(QueryLimitTest, CutsAfterTheLimitOnACodePointBoundary) {
  struct Case {
    std::string query;
    std::string expected;
  };
  const Case cases[] = {
      {"", ""},
      {repeat("x", 8000), repeat("x", 8000)},
      {repeat("x", 8001), repeat("x", 8000)},
      {repeat("\u00e9", 8000), repeat("\u00e9", 8000)},  // 16 000 bytes, not too long
      {repeat("\u00e9", 9000), repeat("\u00e9", 8000)},
      {repeat("x", 7999) + "\U0001F600\U0001F600", repeat("x", 7999) + "\U0001F600"},
      {repeat("a b ", 1'000'000), repeat("a b ", 2000)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cut_query(c.query), c.expected);
    EXPECT_EQ(exceeds_query_limit(c.query), c.expected.size() < c.query.size());
  }
}

struct EchoArgs {
  std::string query;
  int top = 5;
};

Json echo(const EchoArgs& args) { return Json{{"query", args.query}, {"top", args.top}}; }

TEST(QueryLimitTest, MarksOnlyAnswersToACutQuery) {
  EXPECT_EQ(with_query_cut(EchoArgs{"short", 3}, &EchoArgs::query, echo),
            Json::parse(R"({"query": "short", "top": 3})"));
  Json cut = with_query_cut(EchoArgs{repeat("y", 9000), 3}, &EchoArgs::query, echo);
  EXPECT_EQ(cut.dump(), R"({"query":")" + repeat("y", 8000) + R"(","top":3,"query_truncated_to":8000})");
}

}  // namespace
}  // namespace lumenfold::lodestar
