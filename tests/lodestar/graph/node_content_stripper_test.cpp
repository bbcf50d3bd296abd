#include "lumenfold/lodestar/graph/node_content_stripper.h"

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/graph/json_dom_builder.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

std::optional<std::string> strip_in_pieces(std::string_view text, size_t piece) {
  NodeContentStripper stripper;
  for (size_t i = 0; i < text.size(); i += piece) stripper.feed(text.substr(i, piece));
  return stripper.finish();
}

std::optional<std::string> strip(std::string_view text) {
  return strip_in_pieces(text, text.empty() ? 1 : text.size());
}

const char kGraph[] =
    "\xEF\xBB\xBF{\n"
    "  \"root\": \"/p\",\n"
    "  \"nodes\": [\n"
    "    {\n"
    "      \"id\": \"a.py\",\n"
    "      \"keywords\": [\"content\", \"x\"],\n"
    "      \"content\": \"def f():\\n    return \\\"caf\\u00e9\\\" \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 \\\\ \\/\",\n"
    "      \"summary\": \"content\"\n"
    "    },\n"
    "    {\"id\": \"b.py\", \"content\": 12, \"meta\": {\"content\": \"kept\"}}\n"
    "  ],\n"
    "  \"content\": \"kept at the top\",\n"
    "  \"edges\": [{\"content\": \"kept in edges\"}, 1, 2]\n"
    "}\n";

const char kStripped[] =
    "{\"root\":\"/p\",\"nodes\":[{\"id\":\"a.py\",\"keywords\":[\"content\",\"x\"],"
    "\"content\":\"\",\"summary\":\"content\"},{\"id\":\"b.py\",\"content\":12,"
    "\"meta\":{\"content\":\"kept\"}}],\"content\":\"kept at the top\","
    "\"edges\":[{\"content\":\"kept in edges\"},1,2]}";

TEST(NodeContentStripperTest, EmptiesNodeContentsAndDropsBlanks) {
  EXPECT_EQ(strip(kGraph), std::optional<std::string>(kStripped));
}

TEST(NodeContentStripperTest, PiecesMaySplitTheTextAnywhere) {
  const std::string_view text(kGraph);
  for (size_t piece = 1; piece <= 9; ++piece) {
    EXPECT_EQ(strip_in_pieces(text, piece), std::optional<std::string>(kStripped)) << piece;
  }
}

TEST(NodeContentStripperTest, KeepsOneBlankWhereTokensWouldJoin) {
  // "[1 2]" and "[1 .5]" are not JSON; dropping the blank must not make
  // them JSON.
  EXPECT_EQ(strip("[1 2, true  null, 1 .5]"), std::optional<std::string>("[1 2,true null,1 .5]"));
  EXPECT_FALSE(parse_document(*strip("[1 2]")).has_value());
}

TEST(NodeContentStripperTest, RefusesMalformedSkippedStrings) {
  const std::vector<std::string> bad_contents = {
      "\"bad \\x escape\"",   "\"raw \n line\"", "\"\\u12G4\"",    "\"\xFF\"", "\"\xC3\"",
      "\"\xED\xA0\x80\"",  // a surrogate written as UTF-8
      "\"\xF4\x90\x80\x80\"", "\"\xC0\xAF\"",    "\"unterminated",
  };
  for (const std::string& content : bad_contents) {
    const std::string doc = "{\"nodes\": [{\"content\": " + content + "}]}";
    for (size_t piece : {size_t{1}, doc.size()}) {
      EXPECT_FALSE(strip_in_pieces(doc, piece).has_value()) << content << " piece " << piece;
    }
  }
}

TEST(NodeContentStripperTest, RefusesEscapedSurrogatesOutsideAPair) {
  const std::vector<std::string> bad_contents = {
      "\"\\ud800\"",    "\"\\udc00\"",        "\"\\uD83D\\u0041\"", "\"\\ud83dx\"",
      "\"\\ud83d\\n\"", "\"\\ud83d\\ud83d\"", "\"a\\ud83d\"",
  };
  for (const std::string& content : bad_contents) {
    const std::string doc = "{\"nodes\": [{\"content\": " + content + "}]}";
    ASSERT_FALSE(common::parse_json(doc).has_value()) << content;
    for (size_t piece : {size_t{1}, size_t{3}, doc.size()}) {
      EXPECT_FALSE(strip_in_pieces(doc, piece).has_value()) << content << " piece " << piece;
    }
  }
  const std::string pair = "{\"nodes\": [{\"content\": \"\\ud83d\\uDE00 \\u00e9\"}]}";
  for (size_t piece : {size_t{1}, size_t{3}, pair.size()}) {
    EXPECT_EQ(strip_in_pieces(pair, piece), std::optional<std::string>("{\"nodes\":[{\"content\":\"\"}]}")) << piece;
  }
}

TEST(NodeContentStripperTest, LeavesOtherMalformedTextToTheParser) {
  const std::optional<std::string> out = strip("{\"nodes\": [{\"id\": \"\\x\"}]}");
  ASSERT_TRUE(out.has_value());
  EXPECT_FALSE(parse_document(*out).has_value());
}

TEST(NodeContentStripperTest, KeepsAPartialByteOrderMark) {
  EXPECT_EQ(strip("\xEF\xBB[]"), std::optional<std::string>("\xEF\xBB[]"));
  EXPECT_EQ(strip("\xEF"), std::optional<std::string>("\xEF"));
}

// Only a mark at the very start may be skipped: one after blanks is not JSON.
TEST(NodeContentStripperTest, AMarkAfterBlanksStaysInvalid) {
  const std::optional<std::string> out = strip("\r\n \xEF\xBB\xBF{}");
  ASSERT_TRUE(out.has_value());
  EXPECT_FALSE(parse_document(*out).has_value());
  EXPECT_EQ(strip("\xEF\xBB\xBF \n{}"), std::optional<std::string>("{}"));
  EXPECT_EQ(strip(" 7 "), std::optional<std::string>(" 7"));
}

TEST(ReadGraphWithoutContentsTest, ReadsAFileThroughTheFilter) {
  testing::TempDir dir;
  std::string big = "{\"nodes\": [";
  for (int i = 0; i < 3; ++i) {
    if (i > 0) big += ", ";
    big += "{\"id\": \"f" + std::to_string(i) + "\", \"content\": \"" + std::string(1 << 20, 'x') + "\"}";
  }
  big += "]}";
  const std::filesystem::path path = dir.write("info_graph.json", big);
  EXPECT_EQ(read_graph_without_contents(path),
            std::optional<std::string>(
                R"({"nodes":[{"id":"f0","content":""},{"id":"f1","content":""},{"id":"f2","content":""}]})"));
  EXPECT_FALSE(read_graph_without_contents(dir.path() / "absent.json").has_value());
}

}  // namespace
}  // namespace lumenfold::lodestar
