#include "lumenfold/common/json.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace lumenfold::common {
namespace {

TEST(JsonWriterTest, IndentedLayoutMatchesTwoSpaceDocuments) {
  Json doc = Json::object();
  doc["b"] = 1;
  doc["a"] = Json::array({"x", Json::object()});
  doc["e"] = Json::array();
  doc["f"] = 1.5;
  doc["g"] = nullptr;
  doc["h"] = true;
  EXPECT_EQ(dump_indented(doc),
            "{\n  \"b\": 1,\n  \"a\": [\n    \"x\",\n    {}\n  ],\n  \"e\": [],\n  \"f\": 1.5,\n"
            "  \"g\": null,\n  \"h\": true\n}");
}

TEST(JsonWriterTest, OneLineLayouts) {
  Json doc = Json::object();
  doc["k"] = Json::array({1, 2});
  doc["m"] = Json::object({{"x", "y"}});
  EXPECT_EQ(dump_spaced(doc), "{\"k\": [1, 2], \"m\": {\"x\": \"y\"}}");
  EXPECT_EQ(dump_compact(doc), "{\"k\":[1,2],\"m\":{\"x\":\"y\"}}");
  EXPECT_EQ(dump_compact(Json::object({{"ok", false}})), "{\"ok\":false}");
}

TEST(JsonWriterTest, EscapesEverythingOutsidePrintableAscii) {
  // é, a CJK character, an emoji (surrogate pair), controls and DEL.
  Json s = "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\"\\\b\f\n\r\t\x01\x1f\x7f/";
  EXPECT_EQ(dump_spaced(s), "\"\\u00e9\\u4e2d\\ud83d\\ude00\\\"\\\\\\b\\f\\n\\r\\t\\u0001\\u001f\\u007f/\"");
  // Keys are escaped as well.
  Json obj = Json::object({{"\xC3\xA9", 1}});
  EXPECT_EQ(dump_indented(obj), "{\n  \"\\u00e9\": 1\n}");
}

TEST(JsonWriterTest, Utf8LayoutKeepsNonAscii) {
  Json doc = Json::object({{"t", "\xC3\xA9\x7f\n"}});
  EXPECT_EQ(dump_utf8(doc, false), "{\"t\":\"\xC3\xA9\x7f\\n\"}");
  EXPECT_EQ(dump_utf8(doc, true), "{\n  \"t\": \"\xC3\xA9\x7f\\n\"\n}");
}

TEST(JsonWriterTest, KeepsInsertionOrder) {
  Json doc = Json::object();
  doc["zeta"] = 1;
  doc["alpha"] = 2;
  append_new_member(doc, "mid", 3);
  EXPECT_EQ(dump_compact(doc), "{\"zeta\":1,\"alpha\":2,\"mid\":3}");
  EXPECT_EQ(doc["mid"], 3);
}

TEST(JsonParseTest, SkipsByteOrderMarkAndRejectsGarbage) {
  auto doc = parse_json("\xEF\xBB\xBF{\"a\": [1]}");
  ASSERT_TRUE(doc.has_value());
  EXPECT_EQ((*doc)["a"][0], 1);
  EXPECT_FALSE(parse_json("{not json").has_value());
  EXPECT_FALSE(parse_json("").has_value());
  EXPECT_FALSE(parse_json("[1] trailing").has_value());
  EXPECT_FALSE(parse_json(std::string_view("{}\0garbage", 10)).has_value());
}

std::string nested(int depth, char open, char close) {
  return std::string(static_cast<size_t>(depth), open) + std::string(static_cast<size_t>(depth), close);
}

TEST(JsonParseTest, RefusesNestingBeyondTheLimit) {
  struct Case {
    std::string text;
    bool parses;
  };
  const Case cases[] = {
      {nested(kMaxJsonDepth, '[', ']'), true},
      {nested(kMaxJsonDepth + 1, '[', ']'), false},
      {"{\"a\":" + nested(kMaxJsonDepth, '[', ']') + "}", false},
      // Brackets inside strings, escaped quotes included, do not nest.
      {"[\"\\\"" + std::string(100000, '[') + "\"]", true},
      {nested(100000, '[', ']'), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parse_json(c.text).has_value(), c.parses) << c.text.substr(0, 40);
  }
}

}  // namespace
}  // namespace lumenfold::common
