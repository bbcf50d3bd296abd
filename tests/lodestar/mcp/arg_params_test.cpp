#include "lumenfold/lodestar/mcp/arg_params.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lumenfold/lodestar/mcp/tool_arguments.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;
using Names = std::vector<std::string>;

// One member of each kind a tool's struct may hold.
struct Args {
  std::string text;
  int64_t count;
  double ratio;
  bool strict;
  Names names;
  Names tags;
};

const ArgParams<Args> kParams = {
    required_arg<ParamType::kString>("text", &Args::text),
    defaulted_arg<ParamType::kInteger>("count", &Args::count, 7),
    defaulted_arg<ParamType::kNumber>("ratio", &Args::ratio, 0.5),
    defaulted_arg<ParamType::kBoolean>("strict", &Args::strict, true),
    defaulted_arg<ParamType::kStringOrStringList>("names", &Args::names, Names{"x"}),
    nullable_arg<ParamType::kStringList>("tags", &Args::tags),
};

Args checked_args(const Json& arguments) {
  common::Result<Json> checked = bind_arguments(tool_params(kParams), arguments);
  EXPECT_TRUE(checked) << checked.error();
  return checked ? fill_args(kParams, *checked) : Args{};
}

TEST(ArgParamsTest, DeclaresTheToolParamsInOrder) {
  std::vector<ToolParam> params = tool_params(kParams);
  ASSERT_EQ(params.size(), 6u);
  EXPECT_EQ(params[0].name, "text");
  EXPECT_FALSE(params[0].default_value);
  EXPECT_EQ(params[4].type, ParamType::kStringOrStringList);
  EXPECT_EQ(*params[4].default_value, Json::parse(R"(["x"])"));
  EXPECT_TRUE(params[5].nullable);
  EXPECT_EQ(*params[5].default_value, Json(nullptr));
}

TEST(ArgParamsTest, FillsTheStructFromCheckedArguments) {
  struct Case {
    const char* arguments;
    Args filled;
  };
  const Case cases[] = {
      {R"({"text": "a"})", {"a", 7, 0.5, true, {"x"}, {}}},
      {R"({"text": "a", "count": "3", "ratio": 2, "strict": "no"})", {"a", 3, 2.0, false, {"x"}, {}}},
      {R"({"text": "a", "names": "one", "tags": ["t", "u"]})", {"a", 7, 0.5, true, {"one"}, {"t", "u"}}},
      {R"({"text": "a", "names": ["p", "p"], "tags": null})", {"a", 7, 0.5, true, {"p", "p"}, {}}},
  };
  for (const Case& c : cases) {
    Args got = checked_args(Json::parse(c.arguments));
    EXPECT_EQ(got.text, c.filled.text) << c.arguments;
    EXPECT_EQ(got.count, c.filled.count) << c.arguments;
    EXPECT_EQ(got.ratio, c.filled.ratio) << c.arguments;
    EXPECT_EQ(got.strict, c.filled.strict) << c.arguments;
    EXPECT_EQ(got.names, c.filled.names) << c.arguments;
    EXPECT_EQ(got.tags, c.filled.tags) << c.arguments;
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
