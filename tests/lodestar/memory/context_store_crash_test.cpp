// Kills a process in the middle of rewriting a large context store, again
// and again, and checks that the file on disk is always a whole document.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/lodestar/memory/context_store.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;

constexpr double kNow = 1767225600.0;
constexpr int kEntries = 200;
constexpr size_t kContentBytes = 4000;  // about 1 MB per document: writes take a while
constexpr int kKills = 25;

std::vector<Json> large_store(int generation) {
  std::vector<Json> entries;
  for (int i = 0; i < kEntries; ++i) {
    entries.push_back(Json{{"id", "m" + std::to_string(i)},
                           {"content", std::string(kContentBytes, static_cast<char>('a' + generation % 26))},
                           {"file_path", "f" + std::to_string(i)},
                           {"created_epoch", 1000 + i}});
  }
  return entries;
}

// Rewrites the store forever, reporting each finished save on `progress`.
[[noreturn]] void rewrite_forever(const std::filesystem::path& file, int progress) {
  ContextStore store(file);
  for (int generation = 1;; ++generation) {
    store.save(large_store(generation), kNow);
    char done = 1;
    if (::write(progress, &done, 1) != 1) ::_exit(1);
  }
}

TEST(ContextStoreCrashTest, KilledWriterNeverLeavesAPartialDocument) {
  lumenfold::testing::TempDir dir;
  std::filesystem::path file = dir.path() / "context-store.json";
  ContextStore(file).save(large_store(0), kNow);
  std::random_device seed_source;
  unsigned seed = seed_source();
  std::mt19937 random(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));

  for (int kill_round = 0; kill_round < kKills; ++kill_round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(fds[0]);
      rewrite_forever(file, fds[1]);
    }
    ::close(fds[1]);
    // Let a random number of saves finish, then strike at a random point of
    // the next one.
    int saves = std::uniform_int_distribution<int>(0, 2)(random);
    for (int i = 0; i < saves; ++i) {
      char done;
      ASSERT_EQ(::read(fds[0], &done, 1), 1);
    }
    volatile uint64_t spin = 0;
    uint64_t spins = std::uniform_int_distribution<uint64_t>(0, 3'000'000)(random);
    for (uint64_t i = 0; i < spins; ++i) spin = spin + i;
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(fds[0]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "round " << kill_round;

    std::optional<std::string> text = common::read_file(file);
    ASSERT_TRUE(text) << "round " << kill_round;
    std::optional<Json> doc = common::parse_json(*text);
    ASSERT_TRUE(doc && doc->is_array()) << "round " << kill_round << ": " << text->size() << " bytes";
    EXPECT_EQ(doc->size(), static_cast<size_t>(kEntries)) << "round " << kill_round;
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
