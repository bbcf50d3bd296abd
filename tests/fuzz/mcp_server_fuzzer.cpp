// The MCP endpoint, fed the input as the body of a POST. Two tools take
// every parameter kind between them; their handlers check that the bound
// arguments have exactly the declared names, order and types, so a binding
// that lets a wrong value through stops the run. Every answer must be one of
// the documented statuses, and every body JSON-RPC in valid UTF-8 that
// echoes the request's id.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/mcp/mcp_server.h"

namespace {

using lumenfold::common::Json;
using lumenfold::fuzz::require;
using lumenfold::fuzz::require_equal;
using namespace lumenfold::lodestar;

bool is_string_list(const Json& v) {
  if (!v.is_array()) return false;
  for (const Json& item : v) {
    if (!item.is_string()) return false;
  }
  return true;
}

// Whether a bound argument of `param` may hold `v`.
bool fits(const ToolParam& param, const Json& v) {
  if (v.is_null()) return param.nullable || (param.default_value && param.default_value->is_null());
  switch (param.type) {
    case ParamType::kString:
      return v.is_string();
    case ParamType::kInteger:
      return v.is_number_integer();
    case ParamType::kNumber:
      return v.is_number();
    case ParamType::kBoolean:
      return v.is_boolean();
    case ParamType::kStringList:
      return is_string_list(v);
    case ParamType::kStringOrStringList:
      return v.is_string() || is_string_list(v);
  }
  return false;
}

// A handler that checks what the binding handed it and gives it back; it
// throws when asked to, so the dispatcher's catch is exercised too.
ToolHandler checking_handler(std::vector<ToolParam> params) {
  return [params](const Json& arguments) -> Json {
    require(arguments.is_object() && arguments.size() == params.size(), "bound arguments hold every parameter");
    size_t i = 0;
    for (const auto& [name, value] : arguments.items()) {
      require(name == params[i].name, "bound arguments keep declaration order");
      require(fits(params[i], value), "a bound argument has its declared type");
      ++i;
    }
    if (lumenfold::common::is_truthy(lumenfold::common::member_or_null(arguments, "fail"))) {
      throw std::runtime_error("asked to fail");
    }
    return arguments;
  };
}

ToolRegistry fuzz_tools() {
  std::vector<ToolParam> lenient = {
      required_param("text", ParamType::kString),        defaulted_param("count", ParamType::kInteger, 1),
      defaulted_param("ratio", ParamType::kNumber, 0.5), defaulted_param("fail", ParamType::kBoolean, false),
      nullable_param("tags", ParamType::kStringList),    defaulted_param("target", ParamType::kStringOrStringList, ""),
      nullable_param("note", ParamType::kString)};
  std::vector<ToolParam> strict = {required_param("files", ParamType::kStringOrStringList),
                                   required_param("limit", ParamType::kInteger),
                                   required_param("score", ParamType::kNumber),
                                   required_param("fail", ParamType::kBoolean),
                                   required_param("names", ParamType::kStringList),
                                   nullable_param("depth", ParamType::kInteger),
                                   nullable_param("weights", ParamType::kStringOrStringList)};
  ToolRegistry tools;
  tools.add({.name = "lenient",
             .description = "Defaults everywhere.",
             .params = lenient,
             .handler = checking_handler(lenient)});
  tools.add({.name = "strict",
             .description = "Every argument required.",
             .params = strict,
             .handler = checking_handler(strict)});
  return tools;
}

void check_tool_result(const Json& result) {
  const Json& content = lumenfold::common::member_or_null(result, "content");
  require(content.is_array() && content.size() == 1, "a tool result holds one content block");
  const Json& text = lumenfold::common::member_or_null(content[0], "text");
  require(text.is_string(), "the content block is text");
  require(result["isError"].is_boolean(), "a tool result says whether it failed");
  if (!result["isError"].get<bool>()) {
    Json returned = lumenfold::fuzz::parse_or_abort(text.get<std::string>(), "a tool's text is its JSON result");
    require(returned.is_object(), "a tool's result is an object");
  }
}

void check_answer(const McpHttpResponse& response, const std::optional<Json>& request) {
  require(response.status == 200 || response.status == 202 || response.status == 400, "status is 200, 202 or 400");
  if (!request) require(response.status == 400, "a body that is not JSON gets 400");
  if (response.status == 202) {
    require(response.body.empty() && response.content_type.empty(), "202 has no body");
    return;
  }
  require(lumenfold::common::drop_invalid_utf8(response.body) == response.body, "the answer is UTF-8");
  Json message = lumenfold::fuzz::parse_or_abort(response.body, "the answer is JSON");
  require(message.is_object() && message["jsonrpc"] == "2.0" && message.contains("id"), "the answer is JSON-RPC");
  require(message.contains("result") != message.contains("error"), "the answer holds a result or an error");
  if (response.status != 200) return;
  require_equal(message["id"], (*request)["id"], "the answer echoes the request id");
  const Json& params = lumenfold::common::member_or_null(*request, "params");
  if ((*request)["method"] == "tools/call" && message.contains("result")) {
    require(params["name"].is_string(), "only a named tool is called");
    check_tool_result(message["result"]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const McpServer server({.name = "fuzz-mcp", .version = "0.0.1"}, fuzz_tools());
  McpHttpRequest request{.method = "POST", .content_type = "application/json", .body = {}};
  request.body.assign(lumenfold::fuzz::as_text(data, size));
  McpHttpResponse response = server.handle(request);
  check_answer(response, lumenfold::common::parse_json(request.body));
  return 0;
}
