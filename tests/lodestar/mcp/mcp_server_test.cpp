#include "lumenfold/lodestar/mcp/mcp_server.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace lumenfold::lodestar {
namespace {

using common::Json;
using Headers = std::vector<std::pair<std::string, std::string>>;

McpServer make_server() {
  ToolRegistry tools;
  tools.add(
      {.name = "search",
       .description = "Search the index.",
       .params = {required_param("query", ParamType::kString), defaulted_param("top_files", ParamType::kInteger, 5)},
       .handler = [](const Json& args) {
         Json out = Json::object();
         out["query"] = args["query"];
         out["hits"] = Json::array();
         return out;
       }});
  tools.add({.name = "greet",
             .description = "Says hello.",
             .params = {defaulted_param("name", ParamType::kString, "wörld")},
             .handler = [](const Json& args) {
               Json out = Json::object();
               out["greeting"] = "héllo " + args["name"].get<std::string>() + " ✓";
               out["count"] = 1.0;
               return out;
             }});
  tools.add({.name = "boom", .description = "Always fails.", .params = {}, .handler = [](const Json&) -> Json {
               throw std::runtime_error("disk on fire");
             }});
  tools.add({.name = "odd",
             .description = "Throws something that is not an exception.",
             .params = {},
             .handler = [](const Json&) -> Json { throw 42; }});
  return McpServer({.name = "tessel-mcp", .version = "1.2.3"}, std::move(tools));
}

McpHttpRequest post(std::string body, std::optional<std::string> content_type = "application/json") {
  McpHttpRequest request;
  request.method = "POST";
  request.content_type = std::move(content_type);
  request.body = std::move(body);
  return request;
}

McpHttpRequest with_version(McpHttpRequest request, std::string version) {
  request.protocol_version = std::move(version);
  return request;
}

McpHttpRequest plain(std::string method) {
  McpHttpRequest request;
  request.method = std::move(method);
  return request;
}

struct Case {
  const char* what;
  McpHttpRequest request;
  int status;
  std::string body;  // empty: no body and no content type
  Headers headers = {};
};

void check(const McpServer& server, const Case& c) {
  McpHttpResponse response = server.handle(c.request);
  EXPECT_EQ(response.status, c.status) << c.what;
  EXPECT_EQ(response.body, c.body) << c.what;
  EXPECT_EQ(response.content_type, c.body.empty() ? "" : "application/json") << c.what;
  EXPECT_EQ(response.headers, c.headers) << c.what;
}

const char kInit[] =
    R"({"method":"initialize","params":{"protocolVersion":"%s","capabilities":{},"clientInfo":{"name":"t","version":"0"}},"jsonrpc":"2.0","id":0})";

std::string initialize_body(const std::string& version) {
  std::string body = kInit;
  body.replace(body.find("%s"), 2, version);
  return body;
}

std::string initialize_answer(const std::string& version) {
  return R"({"jsonrpc":"2.0","id":0,"result":{"protocolVersion":")" + version +
         R"(","capabilities":{"tools":{"listChanged":false}},"serverInfo":{"name":"tessel-mcp","version":"1.2.3"}}})";
}

TEST(McpServerTest, NegotiatesTheProtocolVersion) {
  McpServer server = make_server();
  const Case cases[] = {
      {"2024-11-05 echoed", post(initialize_body("2024-11-05")), 200, initialize_answer("2024-11-05")},
      {"2025-03-26 echoed", post(initialize_body("2025-03-26")), 200, initialize_answer("2025-03-26")},
      {"2025-06-18 echoed", post(initialize_body("2025-06-18")), 200, initialize_answer("2025-06-18")},
      {"2025-11-25 echoed", post(initialize_body("2025-11-25")), 200, initialize_answer("2025-11-25")},
      {"unknown version gets the newest", post(initialize_body("2030-01-01")), 200, initialize_answer("2025-11-25")},
      {"no params gets the newest", post(R"({"jsonrpc":"2.0","id":0,"method":"initialize"})"), 200,
       initialize_answer("2025-11-25")},
      {"initialize ignores the version header", with_version(post(initialize_body("2025-06-18")), "1999-01-01"), 200,
       initialize_answer("2025-06-18")},
  };
  for (const Case& c : cases) check(server, c);
}

TEST(McpServerTest, AnswersPingAndEchoesIdsWithTheirType) {
  McpServer server = make_server();
  const Case cases[] = {
      {"string id", post(R"({"jsonrpc":"2.0","id":"123","method":"ping"})"), 200,
       R"({"jsonrpc":"2.0","id":"123","result":{}})"},
      {"integer id", post(R"({"jsonrpc":"2.0","id":7,"method":"ping"})"), 200,
       R"({"jsonrpc":"2.0","id":7,"result":{}})"},
      {"digit string id stays a string", post(R"({"jsonrpc":"2.0","id":"7","method":"ping"})"), 200,
       R"({"jsonrpc":"2.0","id":"7","result":{}})"},
      {"negative and large ids", post(R"({"jsonrpc":"2.0","id":-9007199254740993,"method":"ping"})"), 200,
       R"({"jsonrpc":"2.0","id":-9007199254740993,"result":{}})"},
      {"supported version header", with_version(post(R"({"jsonrpc":"2.0","id":1,"method":"ping"})"), "2025-03-26"), 200,
       R"({"jsonrpc":"2.0","id":1,"result":{}})"},
      {"ping before initialize, params null", post(R"({"jsonrpc":"2.0","id":2,"method":"ping","params":null})"), 200,
       R"({"jsonrpc":"2.0","id":2,"result":{}})"},
  };
  for (const Case& c : cases) check(server, c);
}

TEST(McpServerTest, AcceptsNotificationsAndResponsesWithAnEmpty202) {
  McpServer server = make_server();
  const Case cases[] = {
      {"initialized", post(R"({"method":"notifications/initialized","jsonrpc":"2.0"})"), 202, ""},
      {"initialized with version header",
       with_version(post(R"({"method":"notifications/initialized","jsonrpc":"2.0"})"), "2025-11-25"), 202, ""},
      {"unknown notification", post(R"({"jsonrpc":"2.0","method":"notifications/whatever","params":{"x":1}})"), 202,
       ""},
      {"a response", post(R"({"jsonrpc":"2.0","id":5,"result":{}})"), 202, ""},
      {"an error response", post(R"({"jsonrpc":"2.0","id":null,"error":{"code":1,"message":"m"}})"), 202, ""},
  };
  for (const Case& c : cases) check(server, c);
}

TEST(McpServerTest, ListsToolsInOrderWithTheirSchemas) {
  McpServer server = make_server();
  check(
      server,
      {"tools/list", post(R"({"method":"tools/list","jsonrpc":"2.0","id":1})"), 200,
       R"({"jsonrpc":"2.0","id":1,"result":{"tools":[)"
       R"({"name":"search","description":"Search the index.","inputSchema":{"properties":{"query":{"title":"Query","type":"string"},"top_files":{"default":5,"title":"Top Files","type":"integer"}},"required":["query"],"title":"searchArguments","type":"object"}},)"
       R"({"name":"greet","description":"Says hello.","inputSchema":{"properties":{"name":{"default":"wörld","title":"Name","type":"string"}},"title":"greetArguments","type":"object"}},)"
       R"({"name":"boom","description":"Always fails.","inputSchema":{"properties":{},"title":"boomArguments","type":"object"}},)"
       R"({"name":"odd","description":"Throws something that is not an exception.","inputSchema":{"properties":{},"title":"oddArguments","type":"object"}}]}})"});
}

std::string call(const std::string& id, const std::string& params) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":"tools/call","params":)" + params + "}";
}

std::string tool_answer(const std::string& id, const std::string& text_json, bool is_error) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":{"content":[{"type":"text","text":)" + text_json +
         R"(}],"isError":)" + (is_error ? "true" : "false") + "}}";
}

TEST(McpServerTest, CallsToolsAndReportsTheirFailuresAsResults) {
  McpServer server = make_server();
  const Case cases[] = {
      {"result as indented JSON", post(call("2", R"({"name":"search","arguments":{"query":"hello"}})")), 200,
       tool_answer("2", R"("{\n  \"query\": \"hello\",\n  \"hits\": []\n}")", false)},
      {"UTF-8 kept, floats keep .0", post(call("\"u\"", R"({"name":"greet"})")), 200,
       tool_answer("\"u\"", R"("{\n  \"greeting\": \"héllo wörld ✓\",\n  \"count\": 1.0\n}")", false)},
      {"missing argument", post(call("3", R"({"name":"search","arguments":{}})")), 200,
       tool_answer("3", R"("Error executing tool search: missing required argument 'query'")", true)},
      {"wrong argument type", post(call("4", R"({"name":"search","arguments":{"query":"q","top_files":"many"}})")), 200,
       tool_answer("4", R"("Error executing tool search: argument 'top_files' must be an integer, got string")", true)},
      {"unknown tool", post(call("5", R"({"name":"nope","arguments":{}})")), 200,
       tool_answer("5", R"("Unknown tool: nope")", true)},
      {"throwing tool", post(call("6", R"({"name":"boom"})")), 200,
       tool_answer("6", R"("Error executing tool boom: disk on fire")", true)},
      {"throwing a non-exception", post(call("7", R"({"name":"odd","arguments":null})")), 200,
       tool_answer("7", R"("Error executing tool odd: unknown error")", true)},
      {"name missing", post(call("8", R"({"arguments":{}})")), 200,
       R"({"jsonrpc":"2.0","id":8,"error":{"code":-32602,"message":"Invalid params: name must be a string"}})"},
      {"arguments not an object", post(call("9", R"({"name":"search","arguments":["q"]})")), 200,
       R"({"jsonrpc":"2.0","id":9,"error":{"code":-32602,"message":"Invalid params: arguments must be an object"}})"},
  };
  for (const Case& c : cases) check(server, c);
  // The server keeps serving after a tool failed.
  check(server, {"after failures", post(call("10", R"({"name":"search","arguments":{"query":"x","top_files":"2"}})")),
                 200, tool_answer("10", R"("{\n  \"query\": \"x\",\n  \"hits\": []\n}")", false)});
}

TEST(McpServerTest, AnswersUnknownMethodsWithMethodNotFound) {
  McpServer server = make_server();
  for (const char* method : {"resources/list", "prompts/list", "logging/setLevel", "completion/complete", "x"}) {
    std::string body = std::string(R"({"jsonrpc":"2.0","id":1,"method":")") + method + R"("})";
    check(server, {method, post(body), 200,
                   R"({"jsonrpc":"2.0","id":1,"error":{"code":-32601,"message":"Method not found"}})"});
  }
}

std::string error_body(const std::string& id, int code, const std::string& message) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"error":{"code":)" + std::to_string(code) + R"(,"message":")" +
         message + R"("}})";
}

TEST(McpServerTest, RefusesMalformedMessages) {
  McpServer server = make_server();
  const Case cases[] = {
      {"not JSON", post("{\"jsonrpc\":"), 400, error_body("null", -32700, "Parse error")},
      {"empty body", post(""), 400, error_body("null", -32700, "Parse error")},
      {"NaN", post(R"({"jsonrpc":"2.0","id":1,"method":"ping","params":{"x":NaN}})"), 400,
       error_body("null", -32700, "Parse error")},
      {"1e400", post(R"({"jsonrpc":"2.0","id":1,"method":"ping","params":{"x":1e400}})"), 400,
       error_body("null", -32700, "Parse error")},
      {"bad UTF-8", post("{\"jsonrpc\":\"2.0\",\"id\":\"\xff\",\"method\":\"ping\"}"), 400,
       error_body("null", -32700, "Parse error")},
      {"lone surrogate", post(R"({"jsonrpc":"2.0","id":"\ud800","method":"ping"})"), 400,
       error_body("null", -32700, "Parse error")},
      {"100 000 levels",
       post(R"({"jsonrpc":"2.0","method":"ping","id":)" + std::string(100000, '[') + std::string(100000, ']') + "}"),
       400, error_body("null", -32700, "Parse error")},
      {"batch", post(R"([{"jsonrpc":"2.0","id":1,"method":"ping"}])"), 400,
       error_body("null", -32600, "Invalid Request: batches are not supported")},
      {"empty batch", post("[]"), 400, error_body("null", -32600, "Invalid Request: batches are not supported")},
      {"a number", post("5"), 400, error_body("null", -32600, "Invalid Request: expected a JSON object")},
      {"wrong jsonrpc", post(R"({"jsonrpc":"1.0","id":1,"method":"ping"})"), 400,
       error_body("1", -32600, R"(Invalid Request: jsonrpc must be \"2.0\")")},
      {"no jsonrpc", post(R"({"id":"a","method":"ping"})"), 400,
       error_body("\"a\"", -32600, R"(Invalid Request: jsonrpc must be \"2.0\")")},
      {"method not text", post(R"({"jsonrpc":"2.0","id":1,"method":3})"), 400,
       error_body("1", -32600, "Invalid Request: method must be a string")},
      {"null id", post(R"({"jsonrpc":"2.0","id":null,"method":"ping"})"), 400,
       error_body("null", -32600, "Invalid Request: id must be a string or an integer")},
      {"fractional id", post(R"({"jsonrpc":"2.0","id":1.5,"method":"ping"})"), 400,
       error_body("null", -32600, "Invalid Request: id must be a string or an integer")},
      {"object id", post(R"({"jsonrpc":"2.0","id":{},"method":"ping"})"), 400,
       error_body("null", -32600, "Invalid Request: id must be a string or an integer")},
      {"params array", post(R"({"jsonrpc":"2.0","id":4,"method":"ping","params":[]})"), 400,
       error_body("4", -32600, "Invalid Request: params must be an object")},
      {"neither request nor response", post(R"({"jsonrpc":"2.0","id":4})"), 400,
       error_body("4", -32600, "Invalid Request: expected a request, a notification or a response")},
      {"result and error", post(R"({"jsonrpc":"2.0","id":4,"result":{},"error":{}})"), 400,
       error_body("4", -32600, "Invalid Request: expected a request, a notification or a response")},
  };
  for (const Case& c : cases) check(server, c);
}

TEST(McpServerTest, EnforcesTheTransportRules) {
  McpServer server = make_server();
  const std::string ping = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";
  const std::string pong = R"({"jsonrpc":"2.0","id":1,"result":{}})";
  const std::string unsupported =
      error_body("1", -32600,
                 "Bad Request: Unsupported protocol version: 2099-01-01. Supported versions: 2024-11-05, "
                 "2025-03-26, 2025-06-18, 2025-11-25");
  const std::string not_allowed = error_body("null", -32000, "Method not allowed.");
  const std::string media = error_body("null", -32600, "Unsupported Media Type: Content-Type must be application/json");
  const Case cases[] = {
      {"charset parameter", post(ping, "application/json; charset=utf-8"), 200, pong},
      {"media type case", post(ping, "Application/JSON"), 200, pong},
      {"text/plain", post(ping, "text/plain"), 415, media},
      {"no content type", post(ping, std::nullopt), 415, media},
      {"json-like type", post(ping, "application/jsonp"), 415, media},
      {"unsupported version", with_version(post(ping), "2099-01-01"), 400, unsupported},
      {"unsupported version on a notification",
       with_version(post(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"), "2099-01-01"), 400,
       error_body("null", -32600,
                  "Bad Request: Unsupported protocol version: 2099-01-01. Supported versions: 2024-11-05, "
                  "2025-03-26, 2025-06-18, 2025-11-25")},
      {"GET", plain("GET"), 405, not_allowed, {{"Allow", "POST"}}},
      {"DELETE", plain("DELETE"), 405, not_allowed, {{"Allow", "POST"}}},
      {"PUT", plain("PUT"), 405, not_allowed, {{"Allow", "POST"}}},
      {"body at the limit", post(ping + std::string(kMaxMcpBodyBytes - ping.size(), ' ')), 200, pong},
  };
  for (const Case& c : cases) check(server, c);
}

TEST(McpServerTest, KeepsBadHeaderBytesOutOfTheAnswer) {
  McpServer server = make_server();
  McpHttpResponse response =
      server.handle(with_version(post(R"({"jsonrpc":"2.0","id":1,"method":"ping"})"), "v\xff\xfe"));
  EXPECT_EQ(response.status, 400);
  EXPECT_EQ(response.body,
            error_body("1", -32600,
                       "Bad Request: Unsupported protocol version: v. Supported versions: 2024-11-05, 2025-03-26, "
                       "2025-06-18, 2025-11-25"));
}

}  // namespace
}  // namespace lumenfold::lodestar
