#include "lumenfold/lodestar/frontend/port_probe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "lumenfold/common/unique_fd.h"

namespace lumenfold::lodestar {
namespace {

using common::UniqueFd;

const std::vector<std::string> kLoopback = {"127.0.0.1"};

sockaddr_in loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  return addr;
}

// A socket listening on 127.0.0.1:`port` with the listener's options,
// until destroyed.
UniqueFd listen_on(int port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
  apply_listener_options(fd.get());
  sockaddr_in addr = loopback(port);
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd.get(), 4) != 0) {
    return UniqueFd();
  }
  return fd;
}

// A base port whose next `count` ports are all free right now.
int free_run(int count) {
  for (int base = 41000; base < 60000; base += 37) {
    bool all_free = true;
    for (int p = base; p < base + count && all_free; ++p) all_free = listen_on(p).valid();
    if (all_free) return base;
  }
  return -1;
}

TEST(PortProbeTest, SkipsTakenPorts) {
  int base = free_run(3);
  ASSERT_GT(base, 0);
  std::vector<int> ports = candidate_ports(base, std::nullopt);
  EXPECT_EQ(probe_free_port(ports, kLoopback), base);
  UniqueFd a = listen_on(base), b = listen_on(base + 1);
  ASSERT_TRUE(a.valid() && b.valid());
  EXPECT_EQ(probe_free_port(ports, kLoopback), base + 2);
}

TEST(PortProbeTest, GivesUpAfterTwentyPorts) {
  int base = free_run(kPortProbeCount);
  ASSERT_GT(base, 0);
  std::vector<UniqueFd> held;
  for (int p = base; p < base + kPortProbeCount; ++p) held.push_back(listen_on(p));
  EXPECT_EQ(probe_free_port(candidate_ports(base, std::nullopt), kLoopback), std::nullopt);
}

TEST(PortProbeTest, TriesTheRecordedPortFirstAndEachPortOnce) {
  std::vector<int> away = candidate_ports(8080, 9005);
  ASSERT_EQ(away.size(), 21u);
  EXPECT_EQ(away[0], 9005);
  EXPECT_EQ(away[1], 8080);
  std::vector<int> inside = candidate_ports(8080, 8085);
  ASSERT_EQ(inside.size(), 20u);
  EXPECT_EQ(inside[0], 8085);
  EXPECT_EQ(inside[6], 8086);
  EXPECT_EQ(candidate_ports(8080, 0).front(), 8080);
  EXPECT_EQ(candidate_ports(65530, std::nullopt).size(), 6u);
}

// A server killed with connections open leaves them in TIME_WAIT; its
// successor must still get the same port, and no second server may listen
// beside a live one.
TEST(PortProbeTest, ARestartedServerGetsItsPortAndASecondOneDoesNot) {
  int port = free_run(1);
  ASSERT_GT(port, 0);
  {
    UniqueFd listener = listen_on(port);
    ASSERT_TRUE(listener.valid());
    UniqueFd client(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in addr = loopback(port);
    ASSERT_EQ(::connect(client.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    UniqueFd accepted(::accept(listener.get(), nullptr, nullptr));
    ASSERT_TRUE(accepted.valid());
    EXPECT_FALSE(can_listen(kLoopback, port));
    // The server's side closes first, as a dying server's does, and is
    // left in TIME_WAIT.
    accepted.reset();
    client.reset();
  }
  EXPECT_TRUE(can_listen(kLoopback, port));
  EXPECT_EQ(probe_free_port(candidate_ports(port, std::nullopt), kLoopback), port);
}

}  // namespace
}  // namespace lumenfold::lodestar
