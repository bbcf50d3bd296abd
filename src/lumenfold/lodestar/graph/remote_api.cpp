#include "lumenfold/lodestar/graph/remote_api.h"

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/graph/http_transport.h"
#include "lumenfold/lodestar/graph/json_dom_builder.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr int kFirstSuccessStatus = 200;
constexpr int kFirstNonSuccessStatus = 300;

std::string describe(const HttpRequest& request) {
  return std::string(request.method == HttpRequest::Method::kPost ? "POST " : "GET ") + request.url;
}

const char* type_name(const Json& v) {
  switch (v.type()) {
    case Json::value_t::array:
      return "a list";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::boolean:
      return "a boolean";
    default:
      return "a number";
  }
}

// The answer must be JSON text for an object or null. A byte-order mark is
// refused like any other stray character: the service sends plain JSON.
common::Result<Json> decode_answer(const HttpRequest& request, const HttpResponse& response) {
  const std::string what = "remote graph API (" + describe(request) + ")";
  if (response.status < kFirstSuccessStatus || response.status >= kFirstNonSuccessStatus) {
    return common::Error{what + " answered with status " + std::to_string(response.status)};
  }
  std::string_view body = response.body;
  std::optional<Json> doc;
  if (body.substr(0, kByteOrderMark.size()) != kByteOrderMark) doc = parse_document(body);
  if (!doc) return common::Error{what + " answered with a body that is not UTF-8 JSON"};
  if (!doc->is_object() && !doc->is_null()) {
    return common::Error{what + " answered with " + type_name(*doc) + ", not an object"};
  }
  return std::move(*doc);
}

}  // namespace

common::Result<Json> RemoteGraphApi::post(std::string_view path, const Json& payload) {
  HttpRequest request;
  request.method = HttpRequest::Method::kPost;
  request.url = base_ + std::string(path);
  request.headers.emplace_back("content-type", "application/json");
  request.body = common::dump_spaced(payload);
  return exchange(std::move(request));
}

common::Result<Json> RemoteGraphApi::get(std::string_view path) {
  HttpRequest request;
  request.method = HttpRequest::Method::kGet;
  request.url = base_ + std::string(path);
  return exchange(std::move(request));
}

common::Result<Json> RemoteGraphApi::exchange(HttpRequest request) {
  if (!token_.empty()) request.headers.emplace_back("authorization", "Bearer " + token_);
  common::Result<HttpResponse> response = transport_.send(request);
  if (!response) {
    return common::Error{"remote graph API (" + describe(request) + "): " + response.error()};
  }
  return decode_answer(request, *response);
}

}  // namespace lumenfold::lodestar
