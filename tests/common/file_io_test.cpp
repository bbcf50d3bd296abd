#include "lumenfold/common/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace lumenfold::common {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(FileIoTest, AtomicWriteReplacesWholeFileAndLeavesNoTemporary) {
  TempDir dir;
  fs::path target = dir.path() / "doc.json";
  ASSERT_FALSE(write_file_atomically(target, "first").has_value());
  ASSERT_FALSE(write_file_atomically(target, "second").has_value());
  EXPECT_EQ(read_file(target), "second");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1);
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(FileIoTest, AtomicWriteFailureKeepsOldFileAndReportsError) {
  TempDir dir;
  auto error = write_file_atomically(dir.path() / "missing-dir" / "doc.json", "x");
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->find("missing-dir"), std::string::npos);
}

TEST(FileIoTest, ASupersededSpareIsEmptiedOnlyWhenItIsStillTheVersionBeforeTheTarget) {
  // Each case sets up target (synced version, open as `current`) and spare
  // ("previous"), then disturbs them as a concurrent writer or a user could.
  struct Case {
    const char* name;
    std::function<void(TempDir&, const fs::path& target, const fs::path& spare)> disturb;
    bool emptied;
  };
  const std::vector<Case> cases = {
      {"undisturbed", [](TempDir&, const fs::path&, const fs::path&) {}, true},
      {"target replaced since",
       [](TempDir& dir, const fs::path& target, const fs::path&) { fs::rename(dir.write("newer", "newer"), target); },
       false},
      {"spare with a second name",
       [](TempDir& dir, const fs::path&, const fs::path& spare) { fs::create_hard_link(spare, dir.path() / "mine"); },
       false},
      {"spare is a link",
       [](TempDir& dir, const fs::path&, const fs::path& spare) {
         fs::rename(spare, dir.path() / "linked");
         fs::create_symlink(dir.path() / "linked", spare);
       },
       false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const fs::path target = dir.write("doc.json", "current");
    const fs::path spare = dir.write("doc.json.swap", "previous");
    const int current = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(current, 0);
    c.disturb(dir, target, spare);
    empty_superseded_spare(target, spare, current);
    ::close(current);
    EXPECT_EQ(read_file(spare), c.emptied ? "" : "previous") << c.name;
    EXPECT_NE(read_file(target), "") << c.name;  // never the target
  }

  // A spare whose lock another writer holds is that writer's to empty.
  TempDir dir;
  const fs::path target = dir.write("doc.json", "current");
  const fs::path spare = dir.write("doc.json.swap", "previous");
  const int current = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
  const int writer = ::open(spare.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(::flock(writer, LOCK_EX), 0);
  empty_superseded_spare(target, spare, current);
  EXPECT_EQ(read_file(spare), "previous");
  ::close(writer);
  empty_superseded_spare(target, spare, current);
  EXPECT_EQ(read_file(spare), "");
  ::close(current);
}

TEST(FileIoTest, AppendLineAddsOneLinePerCall) {
  TempDir dir;
  fs::path log = dir.path() / "log.jsonl";
  EXPECT_TRUE(append_line(log, "{\"a\": 1}"));
  EXPECT_TRUE(append_line(log, "{\"b\": 2}"));
  EXPECT_EQ(read_file(log), "{\"a\": 1}\n{\"b\": 2}\n");
  EXPECT_FALSE(append_line(dir.path() / "no" / "log", "x"));
}

TEST(FileIoTest, ReadsMissingAsNulloptAndMtimeInNanoseconds) {
  TempDir dir;
  EXPECT_FALSE(read_file(dir.path() / "absent").has_value());
  EXPECT_FALSE(mtime_ns(dir.path() / "absent").has_value());
  fs::path f = dir.write("f", "x");
  auto t = fs::file_time_type(std::chrono::nanoseconds(1'700'000'000'123'456'789LL));
  fs::last_write_time(f, t);
  auto first = mtime_ns(f);
  ASSERT_TRUE(first.has_value());
  fs::last_write_time(f, t + std::chrono::nanoseconds(1));
  EXPECT_EQ(*mtime_ns(f) - *first, 1);
}

TEST(FileIoTest, OnlyOldTemporaryFilesOfAtomicWritesAreSwept) {
  TempDir dir;
  const auto two_hours_ago = fs::file_time_type::clock::now() - std::chrono::hours(2);
  for (const char* name : {"graph.json.tmp-a1B2c3", "store.json.tmp-XXXXXX", "graph.json", "notes.tmp-short",
                           "x.tmp-abcdefg", ".tmp-abcdef"}) {
    fs::last_write_time(dir.write(name, "x"), two_hours_ago);
  }
  dir.write("fresh.json.tmp-zzzzzz", "x");  // a writer may still be at work
  fs::create_directories(dir.path() / "sub.tmp-dddddd");
  fs::last_write_time(dir.path() / "sub.tmp-dddddd", two_hours_ago);

  EXPECT_EQ(remove_stale_temporary_files(dir.path(), std::chrono::hours(1)), 2);
  EXPECT_FALSE(fs::exists(dir.path() / "graph.json.tmp-a1B2c3"));
  EXPECT_FALSE(fs::exists(dir.path() / "store.json.tmp-XXXXXX"));
  for (const char* kept :
       {"graph.json", "notes.tmp-short", "x.tmp-abcdefg", ".tmp-abcdef", "fresh.json.tmp-zzzzzz", "sub.tmp-dddddd"}) {
    EXPECT_TRUE(fs::exists(dir.path() / kept)) << kept;
  }
  EXPECT_EQ(remove_stale_temporary_files(dir.path() / "missing", std::chrono::hours(1)), 0);
}

}  // namespace
}  // namespace lumenfold::common
