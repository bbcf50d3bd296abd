#include "lumenfold/lodestar/frontend/serial_routes.h"

#include <utility>

#include "lumenfold/lodestar/frontend/mcp_http.h"
#include "lumenfold/lodestar/tools/loopback_origin.h"
#include "lumenfold/lodestar/tools/mcp_server.h"

namespace lumenfold::lodestar {

namespace {

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
  for (std::string_view m : methods) {
    if (m == method) return true;
  }
  return false;
}

}  // namespace

bool has_acceptable_origin(const httplib::Request& request) {
  return !request.has_header("Origin") || is_loopback_origin(request.get_header_value("Origin"));
}

void refuse_origin(httplib::Response& response) { apply_response(forbidden_origin_response(), response); }

SerialRoutes::SerialRoutes(httplib::Server& server) : server_(server) {
  server_.set_payload_max_length(kMaxRequestBodyBytes);
  // Answers go out as two writes (head, then body); with Nagle's algorithm
  // the body waits for the client's delayed ACK, some 40 ms per answer on a
  // keep-alive connection.
  server_.set_tcp_nodelay(true);
}

httplib::Server::Handler SerialRoutes::serialized(httplib::Server::Handler handler) {
  return [this, handler = std::move(handler)](const httplib::Request& request, httplib::Response& response) {
    if (!has_acceptable_origin(request)) {
      refuse_origin(response);
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    handler(request, response);
  };
}

void SerialRoutes::get(const std::string& pattern, httplib::Server::Handler handler) {
  server_.Get(pattern, serialized(std::move(handler)));
}

void SerialRoutes::post(const std::string& pattern, httplib::Server::Handler handler) {
  server_.Post(pattern, serialized(std::move(handler)));
}

void SerialRoutes::refuse_other_methods(const std::string& pattern,
                                        std::initializer_list<std::string_view> allowed) {
  auto refuse = [allow = join_methods(allowed)](const httplib::Request&, httplib::Response& response) {
    response.status = 405;
    response.set_header("Allow", allow);
    response.set_content("Method Not Allowed", "text/plain");
  };
  for (std::string_view method : kAllMethods) {
    if (contains(allowed, method)) continue;
    if (method == "GET") server_.Get(pattern, serialized(refuse));
    if (method == "POST") server_.Post(pattern, serialized(refuse));
    if (method == "PUT") server_.Put(pattern, serialized(refuse));
    if (method == "PATCH") server_.Patch(pattern, serialized(refuse));
    if (method == "DELETE") server_.Delete(pattern, serialized(refuse));
    if (method == "OPTIONS") server_.Options(pattern, serialized(refuse));
  }
}

}  // namespace lumenfold::lodestar
