#pragma once
// Route registration for the one HTTP server of lodestar. Every handler
// registered here runs one at a time under a single lock, as the tools and
// routes assume (they share caches and state files without locks of their
// own), and every request carrying a foreign Origin header is refused
// before its handler runs.
//
// cpp-httplib reads each request's body on its own pool thread before the
// handler is called, so the lock is held only while a handler works, never
// while a slow client is still sending.

#include <cstddef>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>

#include <httplib.h>

namespace lumenfold::lodestar {

// Bodies above this size are refused with 413 before they are read. An
// uploaded information graph carries up to 24000 characters of every file,
// so the limit sits well above a large project's graph while still keeping
// a runaway upload from exhausting memory.
inline constexpr size_t kMaxRequestBodyBytes = size_t{512} << 20;

class SerialRoutes {
 public:
  // Sets `server`'s body limit to kMaxRequestBodyBytes. Both `server` and
  // this object must outlive the server's listening: the registered
  // handlers refer to this object.
  explicit SerialRoutes(httplib::Server& server);
  SerialRoutes(const SerialRoutes&) = delete;
  SerialRoutes& operator=(const SerialRoutes&) = delete;

  // Registers `handler` for one method at `pattern` (a cpp-httplib pattern;
  // a plain path matches exactly). The handler runs after the Origin check
  // (403 with a JSON-RPC error body for a foreign origin), holding mutex().
  void get(const std::string& pattern, httplib::Server::Handler handler);
  void post(const std::string& pattern, httplib::Server::Handler handler);

  // Answers every method at `pattern` other than those in `allowed` with
  // 405, an "Allow" header listing `allowed`, and the text "Method Not
  // Allowed". Call it for paths registered with get() or post().
  void refuse_other_methods(const std::string& pattern, std::initializer_list<std::string_view> allowed);

  // `handler` behind the Origin check and the lock, for registrations the
  // methods above do not cover.
  httplib::Server::Handler serialized(httplib::Server::Handler handler);

  // Held while any handler runs. Take it to touch the handlers' shared
  // state from outside a handler.
  std::mutex& mutex() { return mutex_; }
  httplib::Server& server() { return server_; }

 private:
  httplib::Server& server_;
  std::mutex mutex_;
};

// Whether `request` may be served: it carries no Origin header, or one
// naming a loopback origin.
bool has_acceptable_origin(const httplib::Request& request);

// Writes the 403 answer for a foreign Origin into `response`.
void refuse_origin(httplib::Response& response);

}  // namespace lumenfold::lodestar
