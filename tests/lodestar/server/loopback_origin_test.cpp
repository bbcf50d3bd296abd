#include "lumenfold/lodestar/server/loopback_origin.h"

#include <optional>
#include <string_view>

#include <gtest/gtest.h>

namespace lumenfold::lodestar {
namespace {

TEST(LoopbackOriginTest, AcceptsPagesServedFromThisMachine) {
  const char* accepted[] = {
      "http://localhost", "http://localhost:3000", "https://localhost:8443", "HTTP://LocalHost:80",
      "http://127.0.0.1", "http://127.0.0.1:8080", "http://127.1.2.3:9",     "http://127.255.255.255",
      "http://[::1]",     "http://[::1]:5173",
  };
  for (const char* origin : accepted) EXPECT_TRUE(is_loopback_origin(origin)) << origin;
}

TEST(LoopbackOriginTest, RefusesEverythingElse) {
  const char* refused[] = {
      "http://evil.example",
      "https://example.com:443",
      "http://localhost.evil.example",
      "http://evil.example/localhost",
      "http://127.0.0.1.evil.example",
      "http://128.0.0.1",
      "http://10.0.0.1:8080",
      "http://0.0.0.0",
      "http://127.0.0.256",
      "http://127.0.0",
      "http://127.0.0.1.1",
      "http://[::2]",
      "http://[::1",
      "http://localhost:",
      "http://localhost:80a",
      "http://user@localhost",
      "http://localhost/",
      "file://localhost",
      "ftp://127.0.0.1",
      "null",
      "",
      "localhost",
      "http://",
      "chrome-extension://abcdef",
  };
  for (const char* origin : refused) EXPECT_FALSE(is_loopback_origin(origin)) << origin;
}

TEST(LoopbackOriginTest, HostHeadersAndPeerAddresses) {
  for (const char* host : {"localhost", "LOCALHOST:80", "127.0.0.1", "127.9.9.9:8080", "[::1]", "[::1]:1"}) {
    EXPECT_TRUE(is_loopback_host_header(host)) << host;
  }
  for (const char* host : {"", "evil.example", "localhost.", "localhost:x", "[::1]x", "0.0.0.0:80", "::1",
                           "127.0.0.1@evil.example", "http://localhost"}) {
    EXPECT_FALSE(is_loopback_host_header(host)) << host;
  }
  for (const char* address : {"127.0.0.1", "127.0.0.53", "::1", "::ffff:127.0.0.1"}) {
    EXPECT_TRUE(is_loopback_address(address)) << address;
  }
  for (const char* address : {"", "10.0.0.1", "::", "0.0.0.0", "::ffff:10.0.0.1", "::2", "localhost"}) {
    EXPECT_FALSE(is_loopback_address(address)) << address;
  }
}

TEST(SplitAuthorityTest, SplitsAtThePortColonAndRefusesBadBrackets) {
  struct Case {
    std::string_view text;
    std::optional<std::string_view> host;  // nullopt: refused
    std::optional<std::string_view> port;
  };
  const Case cases[] = {
      {"localhost", "localhost", std::nullopt},
      {"localhost:8080", "localhost", "8080"},
      {"a:b:c", "a", "b:c"},
      {"host:", "host", ""},
      {"", "", std::nullopt},
      {"[::1]", "[::1]", std::nullopt},
      {"[::1]:80", "[::1]", "80"},
      {"[::1]:", "[::1]", ""},
      {"[::1", std::nullopt, std::nullopt},
      {"[::1]x", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    std::optional<Authority> parts = split_authority(c.text);
    ASSERT_EQ(parts.has_value(), c.host.has_value()) << c.text;
    if (!parts) continue;
    EXPECT_EQ(parts->host, *c.host) << c.text;
    EXPECT_EQ(parts->port, c.port) << c.text;
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
