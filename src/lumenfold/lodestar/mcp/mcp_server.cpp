#include "lumenfold/lodestar/mcp/mcp_server.h"

#include <exception>
#include <utility>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/result.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/mcp/tool_arguments.h"

// Why the endpoint behaves as it does:
//
// Stateless and JSON-only. Every POST stands alone: no session id is issued
// or required and no ordering is enforced (tools/list before initialize is
// served), because agents restart, reconnect and retry freely, and one
// process serves one project. Event streams buy nothing when every answer is
// a single message.
//
// Transport errors (bad media type, bad JSON, batches, unknown protocol
// version) get an HTTP 4xx, since they are not answers a client could act
// on; JSON-RPC errors for well-formed requests (unknown method, bad params)
// travel with 200 so that clients surface their code.
//
// No Accept header is required: the streamable HTTP transport asks clients
// to send one, but curl users and hook scripts do not, and we only ever
// answer application/json.
//
// Tool failures are results, not JSON-RPC errors ("isError": true with the
// reason as text), as the reference Python SDK reports them; agents show
// that text to the model, which can then correct its call.

namespace lumenfold::lodestar {

using common::Json;

namespace {

constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
// Implementation-defined transport errors, as the TypeScript SDK's servers
// use it.
constexpr int kTransportError = -32000;

constexpr std::string_view kJsonMediaType = "application/json";

Json error_message(const Json& id, int code, std::string message) {
  Json doc = Json::object();
  doc["jsonrpc"] = "2.0";
  doc["id"] = id;
  doc["error"] = Json{{"code", code}, {"message", std::move(message)}};
  return doc;
}

Json result_message(const Json& id, Json result) {
  Json doc = Json::object();
  doc["jsonrpc"] = "2.0";
  doc["id"] = id;
  doc["result"] = std::move(result);
  return doc;
}

McpHttpResponse json_response(int status, const Json& message) {
  McpHttpResponse response;
  response.status = status;
  response.content_type = kJsonMediaType;
  // UTF-8 as it is: tool texts reach the model unescaped.
  response.body = common::dump_utf8(message, false);
  return response;
}

McpHttpResponse error_response(int status, const Json& id, int code, std::string message) {
  return json_response(status, error_message(id, code, std::move(message)));
}

McpHttpResponse transport_error(int status, int code, std::string message) {
  return error_response(status, Json(nullptr), code, std::move(message));
}

// "application/json", in any case, with or without parameters such as
// "; charset=utf-8".
bool is_json_media_type(const std::optional<std::string>& content_type) {
  if (!content_type) return false;
  std::string_view type = *content_type;
  return common::to_lower(common::trim(type.substr(0, type.find(';')))) == kJsonMediaType;
}

bool is_supported_version(std::string_view version) {
  for (std::string_view v : kProtocolVersions) {
    if (v == version) return true;
  }
  return false;
}

std::string supported_versions_text() {
  std::string text;
  for (std::string_view v : kProtocolVersions) {
    if (!text.empty()) text += ", ";
    text += v;
  }
  return text;
}

// MCP ids are strings or integers; null, fractions and other kinds are not.
bool is_valid_id(const Json& id) { return id.is_string() || id.is_number_integer(); }

// The id to echo in an error about `message`: its own when valid, else null.
Json echo_id(const Json& message) {
  const Json& id = common::member_or_null(message, "id");
  return is_valid_id(id) ? id : Json(nullptr);
}

std::optional<std::string> request_shape_problem(const Json& message) {
  if (!common::member_or_null(message, "method").is_string()) return "method must be a string";
  auto id = message.find("id");
  if (id != message.end() && !is_valid_id(*id)) return "id must be a string or an integer";
  auto params = message.find("params");
  if (params != message.end() && !params->is_object() && !params->is_null()) return "params must be an object";
  return std::nullopt;
}

// Why `message` is not a JSON-RPC 2.0 request, notification or response;
// nullopt when it is one.
std::optional<std::string> shape_problem(const Json& message) {
  if (!message.is_object()) return "expected a JSON object";
  auto version = message.find("jsonrpc");
  if (version == message.end() || *version != "2.0") return "jsonrpc must be \"2.0\"";
  if (message.contains("method")) return request_shape_problem(message);
  bool has_result = message.contains("result");
  bool has_error = message.contains("error");
  if (message.contains("id") && has_result != has_error) return std::nullopt;
  return "expected a request, a notification or a response";
}

Json tool_result(std::string text, bool is_error) {
  Json block = Json::object();
  block["type"] = "text";
  block["text"] = std::move(text);
  Json result = Json::object();
  result["content"] = Json::array({std::move(block)});
  result["isError"] = is_error;
  return result;
}

Json tool_listing(const ToolSpec& tool_spec) {
  Json tool = Json::object();
  tool["name"] = tool_spec.name;
  tool["description"] = tool_spec.description;
  tool["inputSchema"] = input_schema(tool_spec);
  return tool;
}

// Runs a tool whose arguments have been checked. Exceptions are caught here
// and only here, so that a failing tool reports its failure instead of
// taking the server down.
Json run_tool(const ToolSpec& tool_spec, const Json& arguments) {
  std::string failure;
  try {
    return tool_result(common::dump_utf8(tool_spec.handler(arguments), true), false);
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown error";
  }
  // Messages may quote paths or bytes that are not UTF-8.
  return tool_result("Error executing tool " + tool_spec.name + ": " + common::drop_invalid_utf8(failure), true);
}

}  // namespace

McpServer::McpServer(ServerIdentity identity, ToolRegistry tools)
    : identity_(std::move(identity)), tools_(std::move(tools)) {
  Json listing = Json::array();
  for (const ToolSpec& tool_spec : tools_.tools()) listing.push_back(tool_listing(tool_spec));
  tools_list_result_ = Json::object();
  tools_list_result_["tools"] = std::move(listing);
}

McpHttpResponse McpServer::handle(const McpHttpRequest& request) const {
  if (request.method != "POST") {
    McpHttpResponse response = transport_error(405, kTransportError, "Method not allowed.");
    response.headers.emplace_back("Allow", "POST");
    return response;
  }
  return handle_post(request);
}

McpHttpResponse McpServer::handle_post(const McpHttpRequest& request) const {
  if (!is_json_media_type(request.content_type)) {
    return transport_error(415, kInvalidRequest, "Unsupported Media Type: Content-Type must be application/json");
  }
  std::optional<Json> message = common::parse_json(request.body);
  if (!message) return transport_error(400, kParseError, "Parse error");
  if (message->is_array()) return transport_error(400, kInvalidRequest, "Invalid Request: batches are not supported");
  if (std::optional<std::string> problem = shape_problem(*message)) {
    return error_response(400, echo_id(*message), kInvalidRequest, "Invalid Request: " + *problem);
  }
  bool is_initialize = common::member_or_null(*message, "method") == "initialize";
  if (!is_initialize && request.protocol_version && !is_supported_version(*request.protocol_version)) {
    return error_response(
        400, echo_id(*message), kInvalidRequest,
        "Bad Request: Unsupported protocol version: " + common::drop_invalid_utf8(*request.protocol_version) +
            ". Supported versions: " + supported_versions_text());
  }
  // Notifications and responses need no answer; a stateless server has
  // nothing to do with either.
  if (!message->contains("method") || !message->contains("id")) {
    McpHttpResponse accepted;
    accepted.status = 202;
    return accepted;
  }
  return json_response(200, dispatch(*message));
}

Json McpServer::dispatch(const Json& request) const {
  const Json& id = common::member_or_null(request, "id");
  const std::string& method = common::member_or_null(request, "method").get_ref<const std::string&>();
  const Json& params = common::member_or_null(request, "params");

  if (method == "initialize") return result_message(id, initialize_result(params));
  if (method == "ping") return result_message(id, Json::object());
  if (method == "tools/list") return result_message(id, tools_list_result_);
  if (method == "tools/call") {
    if (!common::member_or_null(params, "name").is_string()) {
      return error_message(id, kInvalidParams, "Invalid params: name must be a string");
    }
    const Json& arguments = common::member_or_null(params, "arguments");
    if (!arguments.is_object() && !arguments.is_null()) {
      return error_message(id, kInvalidParams, "Invalid params: arguments must be an object");
    }
    return result_message(id, call_tool(params));
  }
  return error_message(id, kMethodNotFound, "Method not found");
}

Json McpServer::initialize_result(const Json& params) const {
  // The same version back when we speak it; otherwise our newest, and the
  // client decides whether it can use that.
  const Json& requested = common::member_or_null(params, "protocolVersion");
  std::string_view version = kProtocolVersions.back();
  if (requested.is_string() && is_supported_version(requested.get_ref<const std::string&>())) {
    version = requested.get_ref<const std::string&>();
  }
  Json result = Json::object();
  result["protocolVersion"] = version;
  // Only tools; the list is fixed for the life of the process.
  result["capabilities"] = Json{{"tools", Json{{"listChanged", false}}}};
  result["serverInfo"] = Json{{"name", identity_.name}, {"version", identity_.version}};
  return result;
}

// REQUIRES: params["name"] is a string, params["arguments"] an object or
// absent.
Json McpServer::call_tool(const Json& params) const {
  const std::string& name = common::member_or_null(params, "name").get_ref<const std::string&>();
  const ToolSpec* tool_spec = tools_.find(name);
  if (tool_spec == nullptr) return tool_result("Unknown tool: " + name, true);
  common::Result<Json> arguments = bind_arguments(tool_spec->params, common::member_or_null(params, "arguments"));
  if (!arguments) return tool_result("Error executing tool " + name + ": " + arguments.error(), true);
  return run_tool(*tool_spec, *arguments);
}

McpHttpResponse forbidden_origin_response() {
  return transport_error(403, kTransportError, "Forbidden: Origin is not a loopback address");
}

McpHttpResponse forbidden_host_response() {
  return transport_error(403, kTransportError, "Forbidden: Host is not a loopback address");
}

McpHttpResponse unauthorized_response() {
  McpHttpResponse response =
      transport_error(401, kTransportError, "Unauthorized: send the server's token as Authorization: Bearer <token>");
  response.headers.emplace_back("WWW-Authenticate", "Bearer");
  return response;
}

McpHttpResponse payload_too_large_response() { return transport_error(413, kTransportError, "Payload Too Large"); }

McpHttpResponse truncated_body_response() {
  return transport_error(400, kParseError, "Parse error: the body ended before its announced length");
}

}  // namespace lumenfold::lodestar
