#include "lumenfold/lodestar/server/child_process.h"

#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

using lumenfold::testing::TempDir;
using Clock = std::chrono::steady_clock;

// Reads everything the child prints until it closes its output.
std::string read_all(ChildProcess& child) {
  std::string out;
  while (child.read_some(out, Clock::now() + std::chrono::seconds(20)) == ChildProcess::ReadStatus::kData) {
  }
  return out;
}

// Whether `pid` is still a child of this process that nobody reaped.
bool still_our_child(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) >= 0 || errno != ECHILD; }

TEST(ChildProcessTest, ReadsTheOutputInTheWorkingDirectory) {
  TempDir dir;
  std::vector<std::string> argv{"sh", "-c", "pwd; printf 'a\\nb'"};
  auto child = ChildProcess::spawn(argv, dir.path());
  ASSERT_TRUE(child) << child.error();
  EXPECT_EQ(read_all(*child), dir.path().string() + "\na\nb");
}

TEST(ChildProcessTest, EndingEarlyKillsAndReapsTheChild) {
  TempDir dir;
  std::vector<std::string> argv{"sleep", "300"};
  pid_t pid = -1;
  {
    auto child = ChildProcess::spawn(argv, dir.path());
    ASSERT_TRUE(child) << child.error();
    pid = child->pid();
    std::string out;
    EXPECT_EQ(child->read_some(out, Clock::now() + std::chrono::milliseconds(20)), ChildProcess::ReadStatus::kTimeout);
  }
  EXPECT_FALSE(still_our_child(pid));
  EXPECT_EQ(kill(pid, 0), -1);
}

TEST(ChildProcessTest, MovedFromObjectOwnsNothing) {
  TempDir dir;
  std::vector<std::string> argv{"sleep", "300"};
  auto child = ChildProcess::spawn(argv, dir.path());
  ASSERT_TRUE(child);
  ChildProcess moved = std::move(*child);
  const pid_t pid = moved.pid();
  EXPECT_EQ(child->pid(), -1);
  moved = std::move(*child);  // kills and reaps the sleeper
  EXPECT_FALSE(still_our_child(pid));
}

TEST(ChildProcessTest, UnknownProgramOrDirectoryIsAnError) {
  TempDir dir;
  std::vector<std::string> missing{"lumenfold-no-such-program"};
  auto child = ChildProcess::spawn(missing, dir.path());
  ASSERT_FALSE(child);
  EXPECT_EQ(child.error(),
            "cannot run lumenfold-no-such-program in " + dir.path().string() + ": No such file or directory");
  std::vector<std::string> sh{"sh", "-c", "true"};
  EXPECT_FALSE(ChildProcess::spawn(sh, dir.path() / "absent"));
}

TEST(ChildProcessTest, TellsHowTheChildEndedAndWhatItComplained) {
  TempDir dir;
  struct Case {
    const char* script;
    std::string output;
    std::string error_output;
    std::optional<int> exit_code;
  } cases[] = {
      {"echo out; echo oops >&2; exit 3", "out\n", "oops\n", 3},
      {"exit 0", "", "", 0},
      {"echo before; kill -9 $$", "before\n", "", std::nullopt},
      // More than a pipe holds: the child must not stall on its complaints.
      {"head -c 200000 /dev/zero | tr '\\0' e >&2; echo done", "done\n", std::string(kErrorOutputBytes, 'e'), 0},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv{"sh", "-c", c.script};
    auto child = ChildProcess::spawn(argv, dir.path());
    ASSERT_TRUE(child) << child.error();
    EXPECT_EQ(read_all(*child), c.output) << c.script;
    const pid_t pid = child->pid();
    EXPECT_EQ(child->wait_exit_code(Clock::now() + std::chrono::seconds(20)), c.exit_code) << c.script;
    EXPECT_EQ(child->error_output(), c.error_output) << c.script;
    EXPECT_EQ(child->pid(), -1);
    EXPECT_FALSE(still_our_child(pid));
  }
}

TEST(ChildProcessTest, AChildThatClosedItsOutputButRunsOnIsKilledAtTheDeadline) {
  TempDir dir;
  std::vector<std::string> argv{"sh", "-c", "exec >&- 2>&-; exec sleep 300"};
  auto child = ChildProcess::spawn(argv, dir.path());
  ASSERT_TRUE(child) << child.error();
  EXPECT_EQ(read_all(*child), "");
  const pid_t pid = child->pid();
  EXPECT_EQ(child->wait_exit_code(Clock::now() + std::chrono::milliseconds(20)), std::nullopt);
  EXPECT_FALSE(still_our_child(pid));
}

}  // namespace
}  // namespace lumenfold::lodestar
