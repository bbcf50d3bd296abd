#pragma once
// Client of the remote graph API, the service that ranks files and serves a
// whole information graph when the server has no local graph or no local
// retrieval.

#include <string>
#include <string_view>

#include "lumenfold/common/json.h"
#include "lumenfold/common/result.h"

namespace lumenfold::lodestar {

class HttpTransport;
struct HttpRequest;

// The two requests the tools send.
inline constexpr std::string_view kChatFixPath = "/api/chat-fix";
inline constexpr std::string_view kFullInfoGraphPath = "/api/info-graph?full=1";

class RemoteGraphApi {
 public:
  // `base` is used exactly as configured: each address is `base` followed
  // directly by the path, so a base ending in "/" gives "//api/...".
  // `token`, when not empty, is sent as "authorization: Bearer <token>".
  // `transport` must outlive this object.
  RemoteGraphApi(std::string base, std::string token, HttpTransport& transport)
      : base_(std::move(base)), token_(std::move(token)), transport_(transport) {}

  // POSTs `payload` as JSON ("content-type: application/json") to `path`.
  // Returns the answer, which is an object or null ("none"); an error text
  // when nothing arrived, the status is not 2xx, or the body is not UTF-8
  // JSON holding an object or null.
  common::Result<common::Json> post(std::string_view path, const common::Json& payload);

  // GETs `path`, with the same answer rules as post().
  common::Result<common::Json> get(std::string_view path);

 private:
  common::Result<common::Json> exchange(HttpRequest request);

  std::string base_;
  std::string token_;
  HttpTransport& transport_;
};

}  // namespace lumenfold::lodestar
