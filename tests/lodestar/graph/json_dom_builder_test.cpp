#include "lumenfold/lodestar/graph/json_dom_builder.h"

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {
namespace {

using common::Json;

std::string parsed_text(std::string_view text, const DroppedMember* dropped = nullptr) {
  std::optional<Json> doc = parse_document(text, dropped);
  return doc ? doc->dump() : "<invalid>";
}

TEST(ParseDocumentTest, KeepsMemberOrderAndValueKinds) {
  EXPECT_EQ(parsed_text(R"({"b": 1, "a": [true, null, -2, 18446744073709551615, 1.5, "x"]})"),
            R"({"b":1,"a":[true,null,-2,18446744073709551615,1.5,"x"]})");
  EXPECT_EQ(parsed_text("\xEF\xBB\xBF{\"k\": \"caf\\u00e9\"}"), "{\"k\":\"caf\xC3\xA9\"}");
  EXPECT_EQ(parsed_text("null"), "null");
}

TEST(ParseDocumentTest, RefusesWhatIsNotJson) {
  for (std::string_view text : std::initializer_list<std::string_view>{
           "", "{", "{\"a\": 1,}", "[1 2]", "{} x", "\"\xFF\"", "nul", "[1e999]", std::string_view("{}\0 x", 5)}) {
    EXPECT_FALSE(parse_document(text).has_value()) << text;
  }
  std::string deepest = std::string(common::kMaxJsonDepth, '[') + std::string(common::kMaxJsonDepth, ']');
  EXPECT_TRUE(parse_document(deepest).has_value());
  EXPECT_FALSE(parse_document("[" + deepest + "]").has_value());
  // Inside a dropped member nothing is kept, however deep.
  DroppedMember content{"nodes", "content"};
  std::string deep_dropped =
      "{\"nodes\": [{\"content\": " + std::string(100000, '[') + std::string(100000, ']') + "}]}";
  EXPECT_EQ(common::dump_compact(*parse_document(deep_dropped, &content)), "{\"nodes\":[{}]}");
}

TEST(ParseDocumentTest, RepeatedKeyKeepsFirstPlaceAndLastValue) {
  EXPECT_EQ(parsed_text(R"({"a": 1, "b": 2, "a": 3})"), R"({"a":3,"b":2})");
  // The same in an object large enough to be indexed by hash.
  std::string text = "{";
  std::string expected = "{";
  for (int i = 0; i < 40; ++i) {
    text += "\"k" + std::to_string(i) + "\": " + std::to_string(i) + ", ";
    expected += "\"k" + std::to_string(i) + "\":" + std::to_string(i == 3 ? 99 : i) + ",";
  }
  text += "\"k3\": 99, \"last\": 0}";
  expected += "\"last\":0}";
  EXPECT_EQ(parsed_text(text), expected);
}

TEST(ParseDocumentTest, DropsTheNamedMemberOfRootArrayElementsOnly) {
  const DroppedMember rule{"nodes", "content"};
  const std::string text = R"({
    "content": "top level stays",
    "nodes": [
      {"id": "a", "content": "gone", "size": 1},
      {"id": "b", "content": {"nested": ["gone", {"content": 1}]}, "n": [1]},
      {"id": "c", "cont\u0065nt": "gone too"},
      {"id": "d", "inner": {"content": "nested objects keep it"}},
      "not an object",
      [{"content": "arrays in the list keep it"}]
    ],
    "edges": [{"content": "other lists keep it"}]
  })";
  EXPECT_EQ(parsed_text(text, &rule),
            R"({"content":"top level stays","nodes":[{"id":"a","size":1},{"id":"b","n":[1]},)"
            R"({"id":"c"},{"id":"d","inner":{"content":"nested objects keep it"}},"not an object",)"
            R"([{"content":"arrays in the list keep it"}]],"edges":[{"content":"other lists keep it"}]})");
}

TEST(ParseDocumentTest, DropRuleAppliesOnlyToTheTopLevelObject) {
  const DroppedMember rule{"nodes", "content"};
  EXPECT_EQ(parsed_text(R"([{"nodes": [{"content": 1}]}])", &rule), R"([{"nodes":[{"content":1}]}])");
  EXPECT_EQ(parsed_text(R"({"nodes": {"x": {"content": 1}}})", &rule), R"({"nodes":{"x":{"content":1}}})");
}

TEST(ObjectFromMembersTest, KeepsTheGivenOrder) {
  MemberList members;
  members.emplace_back("z", 1);
  members.emplace_back("a", "two");
  Json obj = object_from_members(std::move(members));
  EXPECT_EQ(obj.dump(), R"({"z":1,"a":"two"})");
  EXPECT_EQ(obj["a"], "two");
  EXPECT_EQ(object_from_members({}).dump(), "{}");
}

}  // namespace
}  // namespace lumenfold::lodestar
