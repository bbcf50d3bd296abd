#include "lumenfold/lodestar/frontend/tool_table.h"

#include <gtest/gtest.h>

#include "lumenfold/common/json.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;
using lumenfold::testing::TempDir;
using testing::make_test_state;

const ToolSpec& tool(const ToolRegistry& r, const std::string& name) {
  const ToolSpec* tool_spec = r.find(name);
  EXPECT_NE(tool_spec, nullptr) << name;
  return *tool_spec;
}

TEST(ToolTableTest, SmallToolsHaveTheirSchemas) {
  TempDir dir;
  auto state = make_test_state(dir);
  ToolRegistry r = build_tool_registry(*state);
  EXPECT_EQ(
      common::dump_compact(input_schema(tool(r, "graph_neighbors"))),
      R"({"properties":{"file":{"title":"File","type":"string"},"limit":{"default":30,"title":"Limit","type":"integer"}},"required":["file"],"title":"graph_neighborsArguments","type":"object"})");
  EXPECT_EQ(
      common::dump_compact(input_schema(tool(r, "graph_impact"))),
      R"({"properties":{"changed_files":{"items":{"type":"string"},"title":"Changed Files","type":"array"}},"required":["changed_files"],"title":"graph_impactArguments","type":"object"})");
  EXPECT_EQ(
      common::dump_compact(input_schema(tool(r, "graph_add_memory"))),
      R"({"properties":{"type":{"title":"Type","type":"string"},"content":{"title":"Content","type":"string"},"tags":{"anyOf":[{"items":{"type":"string"},"type":"array"},{"type":"null"}],"default":null,"title":"Tags"},"files":{"anyOf":[{"items":{"type":"string"},"type":"array"},{"type":"null"}],"default":null,"title":"Files"}},"required":["type","content"],"title":"graph_add_memoryArguments","type":"object"})");
  EXPECT_EQ(
      common::dump_compact(input_schema(tool(r, "graph_scan"))),
      R"({"properties":{"project_root":{"title":"Project Root","type":"string"}},"required":["project_root"],"title":"graph_scanArguments","type":"object"})");
}

TEST(ToolTableTest, MultiLineDescriptionsEndWithEightSpaces) {
  TempDir dir;
  auto state = make_test_state(dir);
  ToolRegistry r = build_tool_registry(*state);
  for (const char* name : {"graph_add_memory", "graph_scan"}) {
    const std::string& d = tool(r, name).description;
    EXPECT_TRUE(d.ends_with("\n        ")) << name;
  }
  EXPECT_TRUE(tool(r, "graph_scan").description.starts_with("Scan a local project directory and build/refresh"));
  EXPECT_NE(tool(r, "graph_add_memory").description.find("Entry kind \xE2\x80\x94 decision | task"), std::string::npos);
}

TEST(ToolTableTest, HandlersRunTheToolsOnTheState) {
  TempDir dir;
  auto state = make_test_state(dir);
  ToolRegistry r = build_tool_registry(*state);
  Json out = tool(r, "graph_add_memory")
                 .handler(Json{
                     {"type", "fact"}, {"content", "Handlers reach the store"}, {"tags", nullptr}, {"files", nullptr}});
  EXPECT_EQ(out["total"], 1);
}

}  // namespace
}  // namespace lumenfold::lodestar
