#include "lumenfold/surveyor/symbols.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace lumenfold::surveyor {
namespace {

TEST(ClassifyTsTest, FirstMatchingRuleWins) {
  struct Case {
    const char* name;
    bool exported;
    const char* type;
    const char* confidence;
  };
  const Case cases[] = {
      {"GET", false, "api_route", "high"},        {"OPTIONS", true, "api_route", "high"},
      {"Get", true, "use_case", "medium"},        {"GETS", false, "utility", "medium"},
      {"useAuth", false, "hook", "high"},         {"useÜber", false, "hook", "high"},
      {"use", true, "use_case", "high"},          {"usex", true, "use_case", "high"},
      {"use_X", false, "utility", "medium"},      {"user", false, "utility", "medium"},
      {"formatDate", false, "utility", "medium"}, {"App", true, "use_case", "medium"},
      {"Émile", true, "use_case", "medium"},      {"loadUser", true, "use_case", "high"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classify_ts(c.name, c.exported), std::make_pair(std::string(c.type), std::string(c.confidence)))
        << c.name << (c.exported ? " exported" : "");
  }
}

TEST(ExtractSymbolsForFileTest, DispatchesOnTheLowerCasedExtension) {
  const std::string source =
      "export function tsFn() {}\n"
      "def py_fn():\n"
      "    pass\n"
      "public class CsType { }\n";
  struct Case {
    const char* ext;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {".ts", {"tsFn"}},   {".tsx", {"tsFn"}},           {".js", {"tsFn"}}, {".jsx", {"tsFn"}}, {".py", {"py_fn"}},
      {".cs", {"CsType"}}, {".php", {"tsFn", "CsType"}}, {".go", {}},       {".TS", {}},        {"", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> names;
    for (const SymbolDescription& s : extract_symbols_for_file(source, "f", c.ext)) names.push_back(s.name);
    EXPECT_EQ(names, c.names) << c.ext;
  }
}

TEST(AppendSymbolNodesTest, AppendsNodeThenContainsEdgePerSymbol) {
  SymbolDescription first;
  first.id = "src/a.ts::load";
  first.name = "load";
  first.symbol_type = "use_case";
  first.line_start = 10;
  first.line_end = 14;
  first.body_hash = "0123abcd";
  first.confidence = "high";
  first.exported = true;
  first.keywords = {"load"};
  SymbolDescription second = first;
  second.id = "src/a.ts::Item";
  second.name = "Item";
  second.line_start = 3;
  second.line_end = 3;

  std::vector<Node> nodes(1);
  nodes[0].id = "src/a.ts";
  std::vector<Edge> edges = {{"src/a.ts", "./b", "imports"}};
  append_symbol_nodes(nodes, edges, {first, second}, "src/a.ts", ".ts");

  ASSERT_EQ(nodes.size(), 3u);
  const Node& node = nodes[1];
  EXPECT_EQ(node.id, "src/a.ts::load");
  EXPECT_EQ(node.kind, "symbol");
  EXPECT_EQ(node.path, "src/a.ts");
  EXPECT_EQ(node.ext, ".ts");
  EXPECT_EQ(node.size, 5);
  EXPECT_EQ(node.keywords, std::vector<std::string>{"load"});
  EXPECT_EQ(node.symbol_type, "use_case");
  EXPECT_EQ(node.name, "load");
  EXPECT_EQ(node.line_start, 10);
  EXPECT_EQ(node.line_end, 14);
  EXPECT_EQ(node.body_hash, "0123abcd");
  EXPECT_EQ(node.confidence, "high");
  EXPECT_TRUE(node.exported);
  EXPECT_EQ(node.content, "");
  EXPECT_EQ(nodes[2].id, "src/a.ts::Item");
  EXPECT_EQ(nodes[2].size, 1);

  const std::vector<Edge> expected_edges = {
      {"src/a.ts", "./b", "imports"},
      {"src/a.ts", "src/a.ts::load", "contains"},
      {"src/a.ts", "src/a.ts::Item", "contains"},
  };
  EXPECT_EQ(edges, expected_edges);
}

}  // namespace
}  // namespace lumenfold::surveyor
