#include "lumenfold/common/state_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "test_support/held_syncs.h"
#include "test_support/temp_dir.h"

namespace lumenfold::common {
namespace {

namespace fs = std::filesystem;
using testing::HeldSyncs;
using testing::TempDir;

ino_t inode_of(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_ino;
}

TEST(StateFileTest, EachWriteIsSeenAtOnceAndTheSpareHoldsThePreviousVersionUntilItIsOnDisk) {
  TempDir dir;
  StateFileSyncer syncer;
  const fs::path target = dir.path() / "graph.json";
  const fs::path spare = spare_file_of(target);
  EXPECT_EQ(spare.filename(), "graph.json.swap");

  ASSERT_FALSE(write_state_file(target, "{\"v\": 1}", &syncer).has_value());
  EXPECT_EQ(read_file(target), "{\"v\": 1}");
  EXPECT_FALSE(fs::exists(spare));  // the first version is written directly

  {
    HeldSyncs held(syncer);
    ASSERT_FALSE(write_state_file(target, "{\"v\": 2}", &syncer).has_value());
    EXPECT_EQ(read_file(target), "{\"v\": 2}");
    EXPECT_EQ(read_file(spare), "{\"v\": 1}");
  }
  // Once the new version is on disk the old one is let go.
  EXPECT_FALSE(syncer.sync_all().has_value());
  EXPECT_EQ(read_file(spare), "");

  // From here on the same two files take turns: no file is created.
  const std::set<ino_t> pair = {inode_of(target), inode_of(spare)};
  for (int v = 3; v <= 6; ++v) {
    const std::string text = "{\"v\": " + std::to_string(v) + "}";
    {
      HeldSyncs held(syncer);
      ASSERT_FALSE(write_state_file(target, text, &syncer).has_value());
      EXPECT_EQ(read_file(target), text);
      EXPECT_EQ(read_file(spare), "{\"v\": " + std::to_string(v - 1) + "}");
    }
    EXPECT_FALSE(syncer.sync_all().has_value());
    EXPECT_EQ(read_file(target), text);
    EXPECT_EQ(read_file(spare), "");
    EXPECT_EQ((std::set<ino_t>{inode_of(target), inode_of(spare)}), pair);
  }
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(StateFileTest, ATornTargetReadsAsThePreviousVersionAndAGoneOneAsGone) {
  TempDir dir;
  StateFileSyncer syncer;
  const fs::path target = dir.path() / "store.json";
  ASSERT_FALSE(write_state_file(target, "[1]", &syncer).has_value());
  {
    HeldSyncs held(syncer);  // power is lost before the new version is on disk
    ASSERT_FALSE(write_state_file(target, "[1, 2]", &syncer).has_value());
    EXPECT_EQ(read_state_file(target), Json::parse("[1, 2]"));

    for (const std::string& torn : {std::string("[1, 2"), std::string(), std::string(4, '\0')}) {
      dir.write("store.json", torn);
      bool from_spare = false;
      EXPECT_EQ(read_state_file(target, &from_spare), Json::parse("[1]")) << "torn: " << torn;
      EXPECT_TRUE(from_spare);
    }
  }
  EXPECT_FALSE(syncer.sync_all().has_value());
  // Both damaged: nothing to read.
  dir.write("store.json.swap", "[1");
  EXPECT_FALSE(read_state_file(target).has_value());

  // A user who deletes the file means it: the spare is not brought back.
  dir.write("store.json.swap", "[1]");
  fs::remove(target);
  EXPECT_FALSE(read_state_file(target).has_value());
  // A readable target wins over its spare.
  dir.write("store.json", "{\"a\": 1}");
  bool from_spare = true;
  EXPECT_EQ(read_state_file(target, &from_spare), Json::parse("{\"a\": 1}"));
  EXPECT_FALSE(from_spare);
}

TEST(StateFileTest, ASpareThatIsALinkOrSharedIsNeverWrittenThrough) {
  TempDir dir;
  StateFileSyncer syncer;
  const fs::path target = dir.path() / "doc.json";
  ASSERT_FALSE(write_state_file(target, "{\"v\": 1}", &syncer).has_value());

  // A symbolic link in the spare's place: the file it points at stays.
  const fs::path elsewhere = dir.write("elsewhere.txt", "keep me");
  fs::create_symlink(elsewhere, spare_file_of(target));
  ASSERT_FALSE(write_state_file(target, "{\"v\": 2}", &syncer).has_value());
  EXPECT_EQ(read_file(target), "{\"v\": 2}");
  EXPECT_EQ(read_file(elsewhere), "keep me");

  // A spare with a second name: that name keeps its bytes.
  fs::remove(spare_file_of(target));
  const fs::path other = dir.write("other.txt", "mine");
  fs::create_hard_link(other, spare_file_of(target));
  ASSERT_FALSE(write_state_file(target, "{\"v\": 3}", &syncer).has_value());
  EXPECT_EQ(read_file(target), "{\"v\": 3}");
  EXPECT_EQ(read_file(other), "mine");
}

TEST(StateFileTest, ConcurrentWritersNeverMixTheirDocuments) {
  TempDir dir;
  StateFileSyncer syncer;
  const fs::path target = dir.path() / "shared.json";
  ASSERT_FALSE(write_state_file(target, "{}", &syncer).has_value());
  constexpr int kWriters = 4;
  constexpr int kWrites = 40;
  // Documents of different lengths, so a mix of two would not parse or
  // would not be one of them.
  auto document = [](int writer, int n) {
    return "{\"writer\": " + std::to_string(writer) + ", \"n\": " + std::to_string(n) + ", \"pad\": \"" +
           std::string(static_cast<size_t>(100 + writer * 997 + n), 'x') + "\"}";
  };
  std::vector<std::thread> threads;
  std::vector<std::string> errors(kWriters);
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      for (int n = 0; n < kWrites; ++n) {
        if (auto error = write_state_file(target, document(w, n), &syncer)) errors[w] = *error;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (const std::string& error : errors) EXPECT_EQ(error, "");
  EXPECT_FALSE(syncer.sync_all().has_value());

  for (const fs::path& file : {target, spare_file_of(target)}) {
    std::optional<std::string> text = read_file(file);
    ASSERT_TRUE(text.has_value());
    if (file != target && text->empty()) continue;  // a spare let go
    std::optional<Json> doc = parse_json(*text);
    ASSERT_TRUE(doc.has_value()) << file;
    EXPECT_EQ(*text, document((*doc)["writer"].get<int>(), (*doc)["n"].get<int>())) << file;
  }
  // The last version written by each writer is its 40th; one of them is the target.
  Json last = *read_state_file(target);
  EXPECT_EQ(last["n"], kWrites - 1);
}

TEST(StateFileTest, WriteFailuresAreReported) {
  TempDir dir;
  StateFileSyncer syncer;
  std::optional<std::string> error = write_state_file(dir.path() / "missing" / "doc.json", "{}", &syncer);
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->find("missing"), std::string::npos);
  // A directory in the target's place is not replaced.
  fs::create_directories(dir.path() / "taken");
  EXPECT_TRUE(write_state_file(dir.path() / "taken", "{}", &syncer).has_value());
  EXPECT_TRUE(fs::is_directory(dir.path() / "taken"));
}

TEST(StateFileTest, DamagedMeansPresentButNotADocumentOfTheShape) {
  TempDir dir;
  struct Case {
    const char* text;  // nullptr: no file
    StateShape shape;
    bool damaged;
  } cases[] = {
      {nullptr, StateShape::kObject, false},
      {"{}", StateShape::kObject, false},
      {"\xEF\xBB\xBF{}", StateShape::kObject, false},
      {"[]", StateShape::kArray, false},
      {"[]", StateShape::kObject, true},
      {"{}", StateShape::kArray, true},
      {"{\"nodes\": [", StateShape::kObject, true},
      {"", StateShape::kObject, true},
      {"null", StateShape::kArray, true},
      {"\xff\xfe{}", StateShape::kObject, true},
  };
  for (const Case& c : cases) {
    const fs::path file = dir.path() / "state.json";
    std::error_code ec;
    fs::remove(file, ec);
    if (c.text != nullptr) dir.write("state.json", c.text);
    EXPECT_EQ(is_damaged_state_file(file, c.shape), c.damaged) << (c.text ? c.text : "(missing)");
  }
}

TEST(StateFileTest, ATornTargetIsDamagedEvenWithASoundSpare) {
  TempDir dir;
  const fs::path file = dir.path() / "state.json";
  dir.write("state.json", "{\"a\": 1");
  dir.write("state.json.swap", "{\"a\": 0}");
  EXPECT_TRUE(is_damaged_state_file(file, StateShape::kObject));
}

TEST(StateFileTest, DamagedFilesAreSetAsideUnderTheirTimeAndNeverOverEachOther) {
  TempDir dir;
  const fs::path file = dir.path() / "state.json";
  dir.write("state.json", "{bad");
  EXPECT_EQ(set_aside_damaged_state_file(file, 1767225600, "test state"), dir.path() / "state.json.corrupt-1767225600");
  dir.write("state.json", "{worse");
  EXPECT_EQ(set_aside_damaged_state_file(file, 1767225600, "test state"),
            dir.path() / "state.json.corrupt-1767225600-2");
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(dir.read("state.json.corrupt-1767225600"), "{bad");
  EXPECT_EQ(dir.read("state.json.corrupt-1767225600-2"), "{worse");
}

TEST(StateFileTest, SettingAsideAFileThatCannotBeMovedThrows) {
  TempDir dir;
  EXPECT_THROW(set_aside_damaged_state_file(dir.path() / "absent.json", 1, "test state"), std::runtime_error);
}

}  // namespace
}  // namespace lumenfold::common
