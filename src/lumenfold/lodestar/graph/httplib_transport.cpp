#include "lumenfold/lodestar/graph/httplib_transport.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>

#include <httplib.h>

namespace lumenfold::lodestar {
namespace {

struct SplitUrl {
  std::string origin;  // "scheme://authority"
  std::string target;  // path and query, at least "/"
};

// Splits an absolute address into what httplib needs: the server part and
// the request target, which is sent exactly as written (a doubled slash
// stays doubled). The fragment is never sent.
std::optional<SplitUrl> split_url(std::string_view url) {
  const size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) return std::nullopt;
  const std::string_view scheme = url.substr(0, scheme_end);
  if (scheme != "http" && scheme != "https") return std::nullopt;
  const std::string_view rest = url.substr(scheme_end + 3);
  const size_t authority_end = std::min(rest.find_first_of("/?#"), rest.size());
  if (authority_end == 0) return std::nullopt;
  std::string_view target = rest.substr(authority_end);
  target = target.substr(0, target.find('#'));
  SplitUrl split{std::string(url.substr(0, scheme_end + 3 + authority_end)), std::string(target)};
  if (split.target.empty() || split.target.front() != '/') split.target.insert(0, "/");
  return split;
}

bool is_content_type(std::string_view name) {
  constexpr std::string_view kName = "content-type";
  if (name.size() != kName.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(name[i])) != kName[i]) return false;
  }
  return true;
}

}  // namespace

common::Result<HttpResponse> HttplibTransport::send(const HttpRequest& request) {
  std::optional<SplitUrl> url = split_url(request.url);
  if (!url) return common::Error{"unsupported address " + request.url};

  httplib::Client client(url->origin);
  if (!client.is_valid()) return common::Error{"unsupported address " + request.url};
  client.set_connection_timeout(timeout_);
  client.set_read_timeout(timeout_);
  client.set_write_timeout(timeout_);
  client.set_follow_location(true);

  httplib::Headers headers;
  std::string content_type;
  for (const auto& [name, value] : request.headers) {
    if (is_content_type(name)) {
      content_type = value;  // httplib sends it from its own argument
    } else {
      headers.emplace(name, value);
    }
  }
  httplib::Result result = request.method == HttpRequest::Method::kPost
                               ? client.Post(url->target, headers, request.body, content_type)
                               : client.Get(url->target, headers);
  if (!result) {
    return common::Error{"request to " + request.url + " failed: " + httplib::to_string(result.error())};
  }
  return HttpResponse{result->status, std::move(result->body)};
}

}  // namespace lumenfold::lodestar
