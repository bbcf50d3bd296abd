#include "lumenfold/lodestar/frontend/port_probe.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace lumenfold::lodestar {
namespace {

// Holds a listening socket on `port` (all interfaces) until destroyed.
class Listener {
 public:
  explicit Listener(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(fd_, 1) == 0;
  }
  ~Listener() { ::close(fd_); }
  bool ok() const { return ok_; }

 private:
  int fd_;
  bool ok_ = false;
};

// A base port whose next `count` ports are all free right now.
int free_run(int count) {
  for (int base = 41000; base < 60000; base += 37) {
    bool all_free = true;
    for (int p = base; p < base + count && all_free; ++p) all_free = Listener(p).ok();
    if (all_free) return base;
  }
  return -1;
}

TEST(PortProbeTest, SkipsTakenPorts) {
  int base = free_run(3);
  ASSERT_GT(base, 0);
  EXPECT_EQ(probe_free_port(base), base);
  Listener a(base), b(base + 1);
  ASSERT_TRUE(a.ok() && b.ok());
  EXPECT_EQ(probe_free_port(base), base + 2);
}

TEST(PortProbeTest, GivesUpAfterTwentyPorts) {
  int base = free_run(kPortProbeCount);
  ASSERT_GT(base, 0);
  std::vector<std::unique_ptr<Listener>> held;
  for (int p = base; p < base + kPortProbeCount; ++p) held.push_back(std::make_unique<Listener>(p));
  EXPECT_EQ(probe_free_port(base), std::nullopt);
}

}  // namespace
}  // namespace lumenfold::lodestar
