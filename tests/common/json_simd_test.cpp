#include "lumenfold/common/json_simd.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace lumenfold::common {
namespace {

TEST(JsonSimdTest, ConvertsEveryValueKeepingMemberOrder) {
  simdjson::dom::parser parser;
  auto root = parse_fast(
      parser, "\xEF\xBB\xBF{\"z\": 1, \"a\": [-2, 18446744073709551615, 1.5, true, null, \"\\u00e9\"], \"m\": {}}");
  ASSERT_TRUE(root.has_value());
  Json doc = to_json(*root);
  EXPECT_EQ(dump_compact(doc), "{\"z\":1,\"a\":[-2,18446744073709551615,1.5,true,null,\"\\u00e9\"],\"m\":{}}");
}

TEST(JsonSimdTest, RepeatedKeyKeepsFirstPlaceAndLastValue) {
  simdjson::dom::parser parser;
  auto root = parse_fast(parser, R"({"a": 1, "b": 2, "a": 3})");
  ASSERT_TRUE(root.has_value());
  EXPECT_EQ(dump_compact(to_json(*root)), "{\"a\":3,\"b\":2}");
}

TEST(JsonSimdTest, RejectsTextThatIsNotJson) {
  simdjson::dom::parser parser;
  EXPECT_FALSE(parse_fast(parser, "{broken").has_value());
  EXPECT_FALSE(parse_fast(parser, "").has_value());
  EXPECT_FALSE(parse_fast(parser, "\"bad \xFF utf8\"").has_value());
}

TEST(JsonSimdTest, RefusesNestingBeyondTheLimitWithAnyParser) {
  std::string deepest = std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']');
  std::string deeper = "[" + deepest + "]";
  simdjson::dom::parser fresh;
  EXPECT_TRUE(parse_fast(fresh, deepest).has_value());
  EXPECT_FALSE(parse_fast(fresh, deeper).has_value());
  // A parser made for deeper documents is held to the same limit.
  simdjson::dom::parser deep_parser;
  ASSERT_EQ(deep_parser.allocate(1 << 16, 4096), simdjson::SUCCESS);
  EXPECT_FALSE(parse_fast(deep_parser, deeper).has_value());
}

}  // namespace
}  // namespace lumenfold::common
