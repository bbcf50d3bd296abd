#pragma once
// The HTTP seam of the remote graph API client: one request, one whole
// answer. Tests replace it with a fake; the server uses HttplibTransport.

#include <string>
#include <utility>
#include <vector>

#include "lumenfold/common/result.h"

namespace lumenfold::lodestar {

struct HttpRequest {
  enum class Method { kGet, kPost };
  Method method = Method::kGet;
  std::string url;  // absolute, "http://host:port/path?query"
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // sent only with kPost
};

struct HttpResponse {
  int status = 0;
  std::string body;
};

class HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  // Sends `request` and returns the answer with any status, or an error
  // text when no answer arrived (bad address, refused connection,
  // time-out).
  virtual common::Result<HttpResponse> send(const HttpRequest& request) = 0;
};

}  // namespace lumenfold::lodestar
