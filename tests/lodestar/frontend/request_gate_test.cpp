#include "lumenfold/lodestar/frontend/request_gate.h"

#include <gtest/gtest.h>

namespace lumenfold::lodestar {
namespace {

struct Case {
  const char* token;  // the server's; "" for none
  RequestFacts request;
  int status;  // 0: let in
};

int status_of(const Case& c) {
  std::optional<McpHttpResponse> refusal = RequestGate(c.token).refusal(c.request);
  return refusal ? refusal->status : 0;
}

TEST(RequestGateTest, LetsInTheLocalUserAndWhoeverHasTheToken) {
  const Case cases[] = {
      // No token: local peer, loopback Host, loopback or no Origin.
      {"", {"127.0.0.1", "127.0.0.1:8080", std::nullopt, std::nullopt}, 0},
      {"", {"::1", "[::1]:8080", "http://localhost:3000", std::nullopt}, 0},
      {"", {"::ffff:127.0.0.1", "LocalHost", std::nullopt, std::nullopt}, 0},
      {"", {"127.0.0.1", std::nullopt, std::nullopt, std::nullopt}, 0},
      // An Authorization header means nothing to a server without a token.
      {"", {"127.0.0.1", "localhost:1", std::nullopt, "Bearer x"}, 0},
      // DNS rebinding: the browser names the attacker's domain.
      {"", {"127.0.0.1", "attacker.example:8080", std::nullopt, std::nullopt}, 403},
      {"", {"127.0.0.1", "localhost.attacker.example", std::nullopt, std::nullopt}, 403},
      {"", {"127.0.0.1", "127.0.0.1.nip.io:80", std::nullopt, std::nullopt}, 403},
      {"", {"127.0.0.1", "", std::nullopt, std::nullopt}, 403},
      {"", {"10.0.0.7", "127.0.0.1:8080", std::nullopt, std::nullopt}, 403},
      {"", {"127.0.0.1", "127.0.0.1:8080", "http://evil.example", std::nullopt}, 403},
      {"", {"127.0.0.1", "127.0.0.1:8080", "null", std::nullopt}, 403},
      {"", {"127.0.0.1", "127.0.0.1:8080", "https://evil.example", std::nullopt}, 403},
      {"", {"127.0.0.1", "127.0.0.1:8080", "http://localhost:5173", std::nullopt}, 0},
      // With a token: local requests still get in without it.
      {"s3cret", {"127.0.0.1", "localhost:8080", std::nullopt, std::nullopt}, 0},
      {"s3cret", {"10.0.0.7", "box:8080", std::nullopt, "Bearer s3cret"}, 0},
      {"s3cret", {"10.0.0.7", "box:8080", "http://evil.example", "Bearer s3cret"}, 0},
      {"s3cret", {"10.0.0.7", "box:8080", std::nullopt, std::nullopt}, 401},
      {"s3cret", {"127.0.0.1", "attacker.example", std::nullopt, std::nullopt}, 401},
      {"s3cret", {"10.0.0.7", "box:8080", std::nullopt, "Bearer s3cre"}, 401},
      {"s3cret", {"10.0.0.7", "box:8080", std::nullopt, "Bearer s3cret "}, 401},
      {"s3cret", {"10.0.0.7", "box:8080", std::nullopt, "Basic s3cret"}, 401},
      // A wrong token is refused even from this machine.
      {"s3cret", {"127.0.0.1", "localhost", std::nullopt, "Bearer nope"}, 401},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(status_of(c), c.status) << "token '" << c.token << "' peer " << c.request.peer_address << " host "
                                      << c.request.host.value_or("(none)");
  }
}

TEST(RequestGateTest, RefusalsSayWhy) {
  RequestGate local("");
  EXPECT_EQ(
      local.refusal({"127.0.0.1", "evil.example", std::nullopt, std::nullopt})->body,
      R"({"jsonrpc":"2.0","id":null,"error":{"code":-32000,"message":"Forbidden: Host is not a loopback address"}})");
  McpHttpResponse unauthorized = *RequestGate("t").refusal({"10.1.1.1", "box", std::nullopt, std::nullopt});
  EXPECT_EQ(unauthorized.headers, (std::vector<std::pair<std::string, std::string>>{{"WWW-Authenticate", "Bearer"}}));
}

}  // namespace
}  // namespace lumenfold::lodestar
