#pragma once
// Route registration for the HTTP servers of lodestar (one per listening
// address). Every request passes the RequestGate before anything of its
// body is read; every handler registered here runs one at a time under a
// single lock, as the tools and routes assume (they share caches and state
// files without locks of their own).
//
// Bodies are read only by this class, and only after the gate let the
// request in: a POST is kept up to its route's limit, and a body that is
// refused (by the gate, for its size, or because nobody takes it) is read
// and thrown away, so that no client can make the server hold more than a
// route's limit and a kept-alive connection stays in step. The lock is held
// only while a handler works, never while a slow client is still sending.

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <httplib.h>

#include "lumenfold/lodestar/frontend/request_gate.h"

namespace lumenfold::lodestar {

// Concurrent connections served by one server. Each holds a thread of its
// own for as long as it is open (cpp-httplib reads a request on the thread
// that answers it), so a few slow or idle clients cannot starve the others.
inline constexpr size_t kMaxConnectionsPerServer = 128;

// How long a connection may sit idle between requests, and how long one
// read or write may wait for the peer. Agents call seconds apart and
// reconnect freely over loopback.
inline constexpr time_t kKeepAliveSeconds = 5;
inline constexpr time_t kSocketTimeoutSeconds = 5;

class SerialRoutes {
 public:
  // A POST handler: the request (its body is not in it) and the body.
  using BodyHandler = std::function<void(const httplib::Request&, std::string body, httplib::Response&)>;

  // Sets up each of `servers`: the gate in front of every route, the
  // connection pool, time-outs, and listening sockets that reuse an address
  // but never share a port with another process. `servers` and this object
  // must outlive the servers' listening: the handlers refer to this object.
  SerialRoutes(std::vector<httplib::Server*> servers, RequestGate gate);
  // One server that lets in local requests only.
  explicit SerialRoutes(httplib::Server& server);
  SerialRoutes(const SerialRoutes&) = delete;
  SerialRoutes& operator=(const SerialRoutes&) = delete;

  // Registers `handler` for GET at `pattern` (a cpp-httplib pattern; a
  // plain path matches exactly), holding mutex() while it runs.
  void get(const std::string& pattern, httplib::Server::Handler handler);

  // Registers `handler` for POST at exactly `path`. The body is read after
  // the gate, up to `max_body_bytes`: a larger one answers 413 and a body
  // cut short by the client 400, without calling `handler`.
  void post(const std::string& path, size_t max_body_bytes, BodyHandler handler);

  // Answers every method at `path` other than those in `allowed` with
  // `handler` (by default 405, an "Allow" header listing `allowed`, and the
  // text "Method Not Allowed"); a body sent with them is thrown away.
  void refuse_other_methods(const std::string& path, std::initializer_list<std::string_view> allowed);
  void refuse_other_methods(const std::string& path, std::initializer_list<std::string_view> allowed,
                            httplib::Server::Handler handler);

  // Held while any handler runs. Take it to touch the handlers' shared
  // state from outside a handler; holding it for good lets no handler
  // start again.
  std::mutex& mutex() { return mutex_; }

 private:
  struct BodyRoute {
    std::string method;
    std::string path;
    bool keeps_body;  // false: the body is thrown away and the handler runs anyway
    size_t max_body_bytes;
    BodyHandler handler;
  };

  void install(httplib::Server& server);
  httplib::Server::HandlerResponse before_routing(const httplib::Request& request, httplib::Response& response);
  void route_body(const httplib::Request& request, httplib::Response& response, const httplib::ContentReader& read);
  void add_body_route(BodyRoute route);
  void run_serialized(const httplib::Server::Handler& handler, const httplib::Request& request,
                      httplib::Response& response);

  std::vector<httplib::Server*> servers_;
  RequestGate gate_;
  std::vector<BodyRoute> body_routes_;  // POST, PUT, PATCH, DELETE
  // The limit of the largest route: cpp-httplib itself skips any body
  // announced larger than this.
  size_t largest_body_limit_ = 0;
  std::mutex mutex_;
};

// The whole value of `request`'s header `name` (first of several), NUL
// bytes included; nullopt when it has none.
std::optional<std::string_view> header(const httplib::Request& request, const char* name);

// Copies status, headers and body of `from` into `to`.
void apply_response(const McpHttpResponse& from, httplib::Response& to);

}  // namespace lumenfold::lodestar
