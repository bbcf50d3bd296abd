#include "lumenfold/lodestar/mcp/tool_arguments.h"

#include <vector>

#include <gtest/gtest.h>

namespace lumenfold::lodestar {
namespace {

using common::Json;

// One parameter of each kind, as a tool would declare them.
const std::vector<ToolParam> kParams = {
    required_param("query", ParamType::kString),
    defaulted_param("top_files", ParamType::kInteger, 5),
    defaulted_param("ratio", ParamType::kNumber, 0.5),
    defaulted_param("strict", ParamType::kBoolean, false),
    nullable_param("tags", ParamType::kStringList),
    defaulted_param("files", ParamType::kStringOrStringList, Json::array()),
};

std::string bind_text(const std::vector<ToolParam>& params, const char* arguments) {
  common::Result<Json> bound = bind_arguments(params, Json::parse(arguments));
  return bound ? common::dump_utf8(*bound, false) : "error: " + bound.error();
}

TEST(BindArgumentsTest, FillsDefaultsInDeclarationOrderAndDropsExtras) {
  EXPECT_EQ(bind_text(kParams, R"({"extra": 1, "query": "auth"})"),
            R"({"query":"auth","top_files":5,"ratio":0.5,"strict":false,"tags":null,"files":[]})");
}

TEST(BindArgumentsTest, NullArgumentsMeanNoneGiven) {
  std::vector<ToolParam> params = {defaulted_param("limit", ParamType::kInteger, 30)};
  EXPECT_EQ(bind_text(params, "null"), R"({"limit":30})");
  EXPECT_EQ(bind_text(kParams, "null"), "error: missing required argument 'query'");
}

TEST(BindArgumentsTest, AcceptsTheLaxForms) {
  struct Case {
    const char* arguments;
    const char* bound;
  };
  const Case cases[] = {
      {R"({"query":"q","top_files":"7"})",
       R"({"query":"q","top_files":7,"ratio":0.5,"strict":false,"tags":null,"files":[]})"},
      {R"({"query":"q","top_files":3.0})",
       R"({"query":"q","top_files":3,"ratio":0.5,"strict":false,"tags":null,"files":[]})"},
      {R"({"query":"q","top_files":true})",
       R"({"query":"q","top_files":1,"ratio":0.5,"strict":false,"tags":null,"files":[]})"},
      {R"({"query":"q","top_files":-2})",
       R"({"query":"q","top_files":-2,"ratio":0.5,"strict":false,"tags":null,"files":[]})"},
      {R"({"query":"q","ratio":2})",
       R"({"query":"q","top_files":5,"ratio":2.0,"strict":false,"tags":null,"files":[]})"},
      {R"({"query":"q","ratio":" 1.25 "})",
       R"({"query":"q","top_files":5,"ratio":1.25,"strict":false,"tags":null,"files":[]})"},
      {R"({"query":"q","strict":"Yes"})",
       R"({"query":"q","top_files":5,"ratio":0.5,"strict":true,"tags":null,"files":[]})"},
      {R"({"query":"q","strict":0})",
       R"({"query":"q","top_files":5,"ratio":0.5,"strict":false,"tags":null,"files":[]})"},
      {R"({"query":"q","strict":"off"})",
       R"({"query":"q","top_files":5,"ratio":0.5,"strict":false,"tags":null,"files":[]})"},
      {R"({"query":"q","tags":["a","b"]})",
       R"({"query":"q","top_files":5,"ratio":0.5,"strict":false,"tags":["a","b"],"files":[]})"},
      {R"({"query":"q","tags":"[\"a\", \"b\"]"})",
       R"({"query":"q","top_files":5,"ratio":0.5,"strict":false,"tags":["a","b"],"files":[]})"},
      {R"({"query":"q","tags":null})",
       R"({"query":"q","top_files":5,"ratio":0.5,"strict":false,"tags":null,"files":[]})"},
      {R"({"query":"q","tags":"null"})",
       R"({"query":"q","top_files":5,"ratio":0.5,"strict":false,"tags":null,"files":[]})"},
      {R"({"query":"q","files":"a.py"})",
       R"({"query":"q","top_files":5,"ratio":0.5,"strict":false,"tags":null,"files":"a.py"})"},
      {R"({"query":"q","files":["a.py","b.py"]})",
       R"({"query":"q","top_files":5,"ratio":0.5,"strict":false,"tags":null,"files":["a.py","b.py"]})"},
      {R"({"query":"q","files":"[\"a.py\"]"})",
       R"({"query":"q","top_files":5,"ratio":0.5,"strict":false,"tags":null,"files":["a.py"]})"},
      // Plain text stays text, even when it looks like JSON.
      {R"({"query":"[1, 2]"})",
       R"({"query":"[1, 2]","top_files":5,"ratio":0.5,"strict":false,"tags":null,"files":[]})"},
      {R"({"query":"null"})", R"({"query":"null","top_files":5,"ratio":0.5,"strict":false,"tags":null,"files":[]})"},
      {R"({"query":"héllo ✓"})",
       R"({"query":"héllo ✓","top_files":5,"ratio":0.5,"strict":false,"tags":null,"files":[]})"},
  };
  for (const Case& c : cases) EXPECT_EQ(bind_text(kParams, c.arguments), c.bound) << c.arguments;
}

TEST(BindArgumentsTest, RefusalsNameTheParameter) {
  struct Case {
    const char* arguments;
    const char* error;
  };
  const Case cases[] = {
      {R"({})", "missing required argument 'query'"},
      {R"({"top_files":5})", "missing required argument 'query'"},
      {R"({"query":5})", "argument 'query' must be a string, got integer"},
      {R"({"query":null})", "argument 'query' must be a string, got null"},
      {R"({"query":["a"]})", "argument 'query' must be a string, got array"},
      {R"({"query":"q","top_files":"five"})", "argument 'top_files' must be an integer, got string"},
      {R"({"query":"q","top_files":2.5})", "argument 'top_files' must be an integer, got number"},
      {R"({"query":"q","top_files":null})", "argument 'top_files' must be an integer, got null"},
      {R"({"query":"q","top_files":1e300})", "argument 'top_files' must be an integer, got number"},
      {R"({"query":"q","ratio":"abc"})", "argument 'ratio' must be a number, got string"},
      {R"({"query":"q","strict":2})", "argument 'strict' must be a boolean, got integer"},
      {R"({"query":"q","strict":"maybe"})", "argument 'strict' must be a boolean, got string"},
      {R"({"query":"q","tags":"a"})", "argument 'tags' must be a list of strings or null, got string"},
      {R"({"query":"q","tags":["a",1]})", "argument 'tags' must be a list of strings or null, got array"},
      {R"({"query":"q","tags":"{\"a\":1}"})", "argument 'tags' must be a list of strings or null, got string"},
      {R"({"query":"q","files":7})", "argument 'files' must be a string or a list of strings, got integer"},
      {R"({"query":"q","files":null})", "argument 'files' must be a string or a list of strings, got null"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(bind_text(kParams, c.arguments), std::string("error: ") + c.error) << c.arguments;
}

TEST(BindArgumentsTest, RefusesArgumentsThatAreNotAnObject) {
  EXPECT_EQ(bind_text(kParams, R"(["q"])"), "error: arguments must be an object, got array");
  EXPECT_EQ(bind_text(kParams, R"("q")"), "error: arguments must be an object, got string");
}

}  // namespace
}  // namespace lumenfold::lodestar
