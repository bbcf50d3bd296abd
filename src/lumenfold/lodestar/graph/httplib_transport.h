#pragma once
// HttpTransport over cpp-httplib: a new connection per request (nothing is
// kept between requests), redirects followed, and a time-out for connecting,
// sending and receiving.

#include <chrono>

#include "lumenfold/lodestar/graph/http_transport.h"

namespace lumenfold::lodestar {

class HttplibTransport : public HttpTransport {
 public:
  // A slow remote ranking must not be cut short, but a dead service must
  // not hang a tool call forever.
  static constexpr std::chrono::seconds kDefaultTimeout{60};

  explicit HttplibTransport(std::chrono::seconds timeout = kDefaultTimeout) : timeout_(timeout) {}

  // Accepts "http://" and "https://" addresses; anything else is an error.
  common::Result<HttpResponse> send(const HttpRequest& request) override;

 private:
  std::chrono::seconds timeout_;
};

}  // namespace lumenfold::lodestar
