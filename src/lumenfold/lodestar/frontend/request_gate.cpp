#include "lumenfold/lodestar/frontend/request_gate.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include "lumenfold/lodestar/server/loopback_origin.h"

namespace lumenfold::lodestar {

namespace {

using Digest = std::array<unsigned char, 32>;

constexpr std::string_view kBearerPrefix = "Bearer ";

Digest digest_of(std::string_view text) {
  Digest digest;
  SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest.data());
  return digest;
}

}  // namespace

RequestGate::RequestGate(std::string_view token) {
  if (!token.empty()) token_digest_ = digest_of(token);
}

std::optional<McpHttpResponse> RequestGate::refusal(const RequestFacts& request) const {
  if (token_digest_ && request.authorization) {
    std::string_view presented = *request.authorization;
    bool bearer = presented.substr(0, kBearerPrefix.size()) == kBearerPrefix;
    Digest digest = digest_of(bearer ? presented.substr(kBearerPrefix.size()) : std::string_view());
    if (!bearer || CRYPTO_memcmp(digest.data(), token_digest_->data(), digest.size()) != 0) {
      return unauthorized_response();
    }
    return std::nullopt;
  }
  bool local_peer = is_loopback_address(request.peer_address);
  bool local_host = !request.host || is_loopback_host_header(*request.host);
  if (!local_peer || !local_host) return token_digest_ ? unauthorized_response() : forbidden_host_response();
  if (request.origin && !is_loopback_origin(*request.origin)) return forbidden_origin_response();
  return std::nullopt;
}

}  // namespace lumenfold::lodestar
