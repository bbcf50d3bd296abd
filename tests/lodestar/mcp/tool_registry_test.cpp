#include "lumenfold/lodestar/mcp/tool_registry.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lumenfold::lodestar {
namespace {

using common::Json;

ToolSpec spec_with(std::string name, std::vector<ToolParam> params) {
  return ToolSpec{.name = std::move(name), .description = "", .params = std::move(params), .handler = [](const Json&) {
                    return Json::object();
                  }};
}

// The schemas the reference Python SDK generates for the same signatures,
// byte for byte (compact layout).
TEST(InputSchemaTest, MatchesTheReferenceSdkByteForByte) {
  struct Case {
    const char* signature;
    ToolSpec tool_spec;
    const char* schema;
  };
  const Case cases[] = {
      {"search(query: str, top_files: int = 5)",
       spec_with("search",
                 {required_param("query", ParamType::kString), defaulted_param("top_files", ParamType::kInteger, 5)}),
       R"({"properties":{"query":{"title":"Query","type":"string"},"top_files":{"default":5,"title":"Top Files","type":"integer"}},"required":["query"],"title":"searchArguments","type":"object"})"},
      {"f(query: str = \"\")", spec_with("f", {defaulted_param("query", ParamType::kString, "")}),
       R"({"properties":{"query":{"default":"","title":"Query","type":"string"}},"title":"fArguments","type":"object"})"},
      {"f(tags: list[str] | None = None)", spec_with("f", {nullable_param("tags", ParamType::kStringList)}),
       R"({"properties":{"tags":{"anyOf":[{"items":{"type":"string"},"type":"array"},{"type":"null"}],"default":null,"title":"Tags"}},"title":"fArguments","type":"object"})"},
      {"f(files: str | list[str])", spec_with("f", {required_param("files", ParamType::kStringOrStringList)}),
       R"({"properties":{"files":{"anyOf":[{"type":"string"},{"items":{"type":"string"},"type":"array"}],"title":"Files"}},"required":["files"],"title":"fArguments","type":"object"})"},
      {"f()", spec_with("f", {}), R"({"properties":{},"title":"fArguments","type":"object"})"},
      {"g(changed_files: list[str], ratio: float = 0.5, strict: bool = False)",
       spec_with("g", {required_param("changed_files", ParamType::kStringList),
                       defaulted_param("ratio", ParamType::kNumber, 0.5),
                       defaulted_param("strict", ParamType::kBoolean, false)}),
       R"({"properties":{"changed_files":{"items":{"type":"string"},"title":"Changed Files","type":"array"},"ratio":{"default":0.5,"title":"Ratio","type":"number"},"strict":{"default":false,"title":"Strict","type":"boolean"}},"required":["changed_files"],"title":"gArguments","type":"object"})"},
      {"h(note: str | None = None, rest: str | list[str] | None = None)",
       spec_with("h",
                 {nullable_param("note", ParamType::kString), nullable_param("rest", ParamType::kStringOrStringList)}),
       R"({"properties":{"note":{"anyOf":[{"type":"string"},{"type":"null"}],"default":null,"title":"Note"},"rest":{"anyOf":[{"type":"string"},{"items":{"type":"string"},"type":"array"},{"type":"null"}],"default":null,"title":"Rest"}},"title":"hArguments","type":"object"})"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(common::dump_utf8(input_schema(c.tool_spec), false), c.schema) << c.signature;
  }
}

TEST(ParamTitleTest, FollowsPythonTitleCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"top_files", "Top Files"},
      {"maxResults", "Maxresults"},
      {"file2path", "File2Path"},
      {"query", "Query"},
      {"a_b_c", "A B C"},
      {"project_root", "Project Root"},
      {"MAX", "Max"},
      {"x", "X"},
  };
  for (const auto& [name, title] : cases) EXPECT_EQ(param_title(name), title) << name;
}

TEST(ToolRegistryTest, KeepsRegistrationOrderAndFindsByName) {
  ToolRegistry registry;
  registry.add(spec_with("zeta", {}));
  registry.add(spec_with("alpha", {}));
  registry.add(spec_with("mid", {}));

  std::vector<std::string> names;
  for (const ToolSpec& tool_spec : registry.tools()) names.push_back(tool_spec.name);
  EXPECT_EQ(names, (std::vector<std::string>{"zeta", "alpha", "mid"}));
  ASSERT_NE(registry.find("alpha"), nullptr);
  EXPECT_EQ(registry.find("alpha")->name, "alpha");
  EXPECT_EQ(registry.find("Alpha"), nullptr);
  EXPECT_EQ(registry.find(""), nullptr);
}

TEST(ToolRegistryTest, RefusesASecondToolOfTheSameName) {
  ToolRegistry registry;
  registry.add(spec_with("graph_read", {}));
  EXPECT_THROW(registry.add(spec_with("graph_read", {})), std::logic_error);
  EXPECT_EQ(registry.tools().size(), 1u);
}

}  // namespace
}  // namespace lumenfold::lodestar
