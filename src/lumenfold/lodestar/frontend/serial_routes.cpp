#include "lumenfold/lodestar/frontend/serial_routes.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>

#include "lumenfold/lodestar/frontend/connection_threads.h"
#include "lumenfold/lodestar/frontend/port_probe.h"

namespace lumenfold::lodestar {

namespace {

// Spare room kept after a body: simdjson reads up to 64 bytes past the end
// of a text, and with this room it parses an uploaded graph in place
// instead of copying it first.
constexpr size_t kParserReadAhead = 64;

constexpr std::string_view kBodyMethods[] = {"POST", "PUT", "PATCH", "DELETE"};
constexpr std::string_view kAllMethods[] = {"GET", "POST", "PUT", "PATCH", "DELETE", "OPTIONS"};

std::string join_methods(std::initializer_list<std::string_view> methods) {
  std::string text;
  for (std::string_view m : methods) {
    if (!text.empty()) text += ", ";
    text += m;
  }
  return text;
}

bool contains(std::initializer_list<std::string_view> methods, std::string_view method) {
  return std::find(methods.begin(), methods.end(), method) != methods.end();
}

bool has_body(const httplib::Request& request) {
  std::optional<std::string_view> length = header(request, "Content-Length");
  return (length && *length != "0") || header(request, "Transfer-Encoding");
}

// A body as it arrived: kept up to `limit`, only counted beyond, so an
// oversized upload costs no memory. A limit of 0 keeps nothing.
struct ReceivedBody {
  std::string bytes;
  bool too_large = false;
  bool complete = false;  // false when the client stopped sending early
};

ReceivedBody receive_body(const httplib::Request& request, const httplib::ContentReader& read, size_t limit) {
  ReceivedBody body;
  uint64_t announced = 0;
  if (std::optional<std::string_view> length = header(request, "Content-Length")) {
    std::from_chars(length->data(), length->data() + length->size(), announced);
  }
  if (announced > limit) body.too_large = true;
  if (!body.too_large && announced > 0) body.bytes.reserve(announced + kParserReadAhead);
  body.complete = read([&body, limit](const char* data, size_t length) {
    if (body.too_large) return true;
    if (body.bytes.size() + length > limit) {
      body.too_large = true;
      std::string().swap(body.bytes);
      return true;
    }
    body.bytes.append(data, length);
    return true;
  });
  return body;
}

void not_found(httplib::Response& response) {
  response.status = 404;
  response.set_content("Not Found", "text/plain");
}

RequestFacts facts_of(const httplib::Request& request) {
  return {request.remote_addr, header(request, "Host"), header(request, "Origin"), header(request, "Authorization")};
}

}  // namespace

std::optional<std::string_view> header(const httplib::Request& request, const char* name) {
  auto it = request.headers.find(name);
  if (it == request.headers.end()) return std::nullopt;
  return std::string_view(it->second);
}

void apply_response(const McpHttpResponse& from, httplib::Response& to) {
  to.status = from.status;
  for (const auto& [name, value] : from.headers) to.set_header(name, value);
  if (!from.content_type.empty()) to.set_content(from.body, from.content_type.c_str());
}

SerialRoutes::SerialRoutes(std::vector<httplib::Server*> servers, RequestGate gate)
    : servers_(std::move(servers)), gate_(std::move(gate)) {
  for (httplib::Server* server : servers_) install(*server);
}

SerialRoutes::SerialRoutes(httplib::Server& server) : SerialRoutes({&server}, RequestGate("")) {}

void SerialRoutes::install(httplib::Server& server) {
  server.new_task_queue = [] { return new ConnectionThreads(kMaxConnectionsPerServer); };
  server.set_socket_options(apply_listener_options);
  server.set_keep_alive_timeout(kKeepAliveSeconds);
  server.set_read_timeout(kSocketTimeoutSeconds);
  server.set_write_timeout(kSocketTimeoutSeconds);
  // Answers go out as two writes (head, then body); with Nagle's algorithm
  // the body waits for the client's delayed ACK, some 40 ms per answer on a
  // keep-alive connection.
  server.set_tcp_nodelay(true);
  server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
    return before_routing(request, response);
  });
  // Every body goes through route_body, which reads it only after the gate.
  auto body_router = [this](const httplib::Request& request, httplib::Response& response,
                            const httplib::ContentReader& read) { route_body(request, response, read); };
  server.Post(".*", body_router);
  server.Put(".*", body_router);
  server.Patch(".*", body_router);
  server.Delete(".*", body_router);
}

httplib::Server::HandlerResponse SerialRoutes::before_routing(const httplib::Request& request,
                                                              httplib::Response& response) {
  using Outcome = httplib::Server::HandlerResponse;
  bool body_method =
      std::find(std::begin(kBodyMethods), std::end(kBodyMethods), request.method) != std::end(kBodyMethods);
  if (body_method) return Outcome::Unhandled;  // route_body checks it before reading
  std::optional<McpHttpResponse> refusal = gate_.refusal(facts_of(request));
  // cpp-httplib would read a body sent with GET into memory whole.
  if (!refusal && has_body(request)) refusal = payload_too_large_response();
  if (!refusal) return Outcome::Unhandled;
  apply_response(*refusal, response);
  return Outcome::Handled;
}

void SerialRoutes::route_body(const httplib::Request& request, httplib::Response& response,
                              const httplib::ContentReader& read) {
  std::optional<McpHttpResponse> refusal = gate_.refusal(facts_of(request));
  const BodyRoute* route = nullptr;
  for (const BodyRoute& candidate : body_routes_) {
    if (candidate.method == request.method && candidate.path == request.path) route = &candidate;
  }
  bool keep = !refusal && route && route->keeps_body;
  ReceivedBody body = receive_body(request, read, keep ? route->max_body_bytes : 0);
  if (refusal) return apply_response(*refusal, response);
  if (!route) return not_found(response);
  if (!route->keeps_body) body = ReceivedBody{.bytes = "", .too_large = false, .complete = true};
  if (body.too_large) return apply_response(payload_too_large_response(), response);
  if (!body.complete) return apply_response(truncated_body_response(), response);
  std::lock_guard<std::mutex> lock(mutex_);
  route->handler(request, std::move(body.bytes), response);
}

void SerialRoutes::run_serialized(const httplib::Server::Handler& handler, const httplib::Request& request,
                                  httplib::Response& response) {
  std::lock_guard<std::mutex> lock(mutex_);
  handler(request, response);
}

void SerialRoutes::add_body_route(BodyRoute route) {
  largest_body_limit_ = std::max(largest_body_limit_, route.max_body_bytes);
  for (httplib::Server* server : servers_) server->set_payload_max_length(largest_body_limit_);
  body_routes_.push_back(std::move(route));
}

void SerialRoutes::get(const std::string& pattern, httplib::Server::Handler handler) {
  for (httplib::Server* server : servers_) {
    server->Get(pattern, [this, handler](const httplib::Request& request, httplib::Response& response) {
      run_serialized(handler, request, response);
    });
  }
}

void SerialRoutes::post(const std::string& path, size_t max_body_bytes, BodyHandler handler) {
  add_body_route({"POST", path, true, max_body_bytes, std::move(handler)});
}

void SerialRoutes::refuse_other_methods(const std::string& path, std::initializer_list<std::string_view> allowed) {
  refuse_other_methods(path, allowed,
                       [allow = join_methods(allowed)](const httplib::Request&, httplib::Response& response) {
                         response.status = 405;
                         response.set_header("Allow", allow);
                         response.set_content("Method Not Allowed", "text/plain");
                       });
}

void SerialRoutes::refuse_other_methods(const std::string& path, std::initializer_list<std::string_view> allowed,
                                        httplib::Server::Handler handler) {
  for (std::string_view method : kAllMethods) {
    if (contains(allowed, method)) continue;
    if (method == "GET") get(path, handler);
    if (method == "OPTIONS") {
      for (httplib::Server* server : servers_) {
        server->Options(path, [this, handler](const httplib::Request& request, httplib::Response& response) {
          run_serialized(handler, request, response);
        });
      }
    }
    if (std::find(std::begin(kBodyMethods), std::end(kBodyMethods), method) != std::end(kBodyMethods)) {
      add_body_route({std::string(method), path, false, 0,
                      [handler](const httplib::Request& request, std::string, httplib::Response& response) {
                        handler(request, response);
                      }});
    }
  }
}

}  // namespace lumenfold::lodestar
