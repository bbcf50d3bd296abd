#include "lumenfold/lodestar/memory/context_store.h"

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "test_support/held_syncs.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using testing::TempDir;

constexpr double kNow = 1767225600.0;
constexpr const char* kStoreName = "context-store.json";

std::string fact_text(int i, int64_t created_epoch) {
  return R"({"id": "m)" + std::to_string(i) + R"(", "content": "note )" + std::to_string(i) + R"(", "file_path": "f)" +
         std::to_string(i) + R"(.py", "created_epoch": )" + std::to_string(created_epoch) + "}";
}

class ContextStoreTest : public ::testing::Test {
 protected:
  fs::path file() const { return dir_.path() / "data" / kStoreName; }
  void write_store(const std::string& text) { dir_.write(std::string("data/") + kStoreName, text); }
  std::string read_store() const { return dir_.read(std::string("data/") + kStoreName); }
  std::vector<fs::path> corrupt_copies() const {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir_.path() / "data")) {
      if (e.path().filename().string().starts_with("context-store.json.corrupt-")) out.push_back(e.path());
    }
    return out;
  }

  TempDir dir_;
  common::StateFileSyncer syncer_;
  ContextStore store_{file(), &syncer_};
  SymbolLookup symbols_ = no_symbols();
};

TEST_F(ContextStoreTest, MissingFileLoadsEmptyAndCreatesNothing) {
  EXPECT_TRUE(store_.load(symbols_, kNow).empty());
  EXPECT_EQ(store_.last_load(), StoreLoad::kMissing);
  EXPECT_FALSE(fs::exists(dir_.path() / "data"));
}

TEST_F(ContextStoreTest, LoadNormalisesAndDropsNonMemories) {
  write_store("\xEF\xBB\xBF[" + fact_text(1, 100) +
              R"(, 5, "text", {"kind": "task"}, {"summary": "s", "tags": {"a": 1}, "id": "m2", "created_epoch": 50}])");
  std::vector<Json> entries = store_.load(symbols_, kNow);
  EXPECT_EQ(store_.last_load(), StoreLoad::kLoaded);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0]["content"], "note 1");
  EXPECT_EQ(entries[0]["files"].dump(), R"(["f1.py"])");
  EXPECT_EQ(entries[1]["content"], "s");
  EXPECT_EQ(entries[1]["tags"].dump(), "[]");
}

TEST_F(ContextStoreTest, SecondLoadIsServedFromTheCacheUntilTheFileChanges) {
  write_store("[" + fact_text(1, 100) + "]");
  ASSERT_EQ(store_.load(symbols_, kNow)[0]["content"], "note 1");
  fs::file_time_type stamp = fs::last_write_time(file());
  // Same time, size and inode, other content: the cache answers.
  write_store("[" + fact_text(9, 100) + "]");
  fs::last_write_time(file(), stamp);
  EXPECT_EQ(store_.load(symbols_, kNow)[0]["content"], "note 1");
  EXPECT_EQ(store_.last_load(), StoreLoad::kCached);
  fs::last_write_time(file(), stamp + std::chrono::nanoseconds(1));
  EXPECT_EQ(store_.load(symbols_, kNow)[0]["content"], "note 9");
  EXPECT_EQ(store_.last_load(), StoreLoad::kLoaded);
}

TEST_F(ContextStoreTest, ARewriteWithinOneClockTickIsStillNoticed) {
  write_store("[" + fact_text(1, 100) + "]");
  store_.load(symbols_, kNow);
  fs::file_time_type stamp = fs::last_write_time(file());
  write_store("[" + fact_text(1, 100) + "," + fact_text(2, 200) + "]");
  fs::last_write_time(file(), stamp);
  EXPECT_EQ(store_.load(symbols_, kNow).size(), 2u);
}

TEST_F(ContextStoreTest, EntriesWithoutIdKeepTheirIdWhileCachedAndTheCallerOwnsTheList) {
  write_store(R"([{"content": "no id"}])");
  std::vector<Json> first = store_.load(symbols_, kNow);
  first[0]["content"] = "changed by the caller";
  first.push_back(Json::object());
  std::vector<Json> second = store_.load(symbols_, kNow + 5);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0]["id"], "mem:1767225600000");
  EXPECT_EQ(second[0]["content"], "no id");
}

TEST_F(ContextStoreTest, SnapshotsAreSharedUntilTheFileChanges) {
  write_store("[" + fact_text(1, 100) + "]");
  auto first = store_.snapshot(symbols_, kNow);
  EXPECT_EQ(store_.snapshot(symbols_, kNow).get(), first.get());
  store_.save({}, kNow);
  auto after_save = store_.snapshot(symbols_, kNow);
  EXPECT_NE(after_save.get(), first.get());
  EXPECT_TRUE(after_save->empty());
  // A snapshot held across a save keeps what it had.
  ASSERT_EQ(first->size(), 1u);
  EXPECT_EQ((*first)[0]["content"], "note 1");
}

TEST_F(ContextStoreTest, SaveForgetsTheCache) {
  write_store("[" + fact_text(1, 100) + "]");
  store_.save(store_.load(symbols_, kNow), kNow);
  store_.load(symbols_, kNow);
  EXPECT_EQ(store_.last_load(), StoreLoad::kLoaded);
  store_.load(symbols_, kNow);
  EXPECT_EQ(store_.last_load(), StoreLoad::kCached);
}

TEST_F(ContextStoreTest, SavedNormalisedEntriesAreWhatTheNextLoadGives) {
  write_store("[" + fact_text(1, 100) + "," + fact_text(2, 200) + "]");
  std::vector<Json> entries = store_.take(symbols_, kNow);
  ASSERT_EQ(entries.size(), 2u);
  entries[1]["content"] = "note 2, changed";
  store_.save(std::move(entries), kNow, ContextStore::Entries::kNormalized);
  std::vector<Json> cached = store_.load(symbols_, kNow);
  EXPECT_EQ(store_.last_load(), StoreLoad::kCached);
  ContextStore reader(file());
  EXPECT_EQ(reader.load(symbols_, kNow), cached);
  EXPECT_EQ(cached[1]["content"], "note 2, changed");

  // An anchor the next normalisation would still trim is read back instead.
  std::vector<Json> padded = store_.take(symbols_, kNow);
  padded[0]["symbol_id"] = " f1.py::g";
  store_.save(std::move(padded), kNow, ContextStore::Entries::kNormalized);
  EXPECT_EQ(store_.load(symbols_, kNow)[0]["symbol_id"], "f1.py::g");
  EXPECT_EQ(store_.last_load(), StoreLoad::kLoaded);
}

TEST_F(ContextStoreTest, TakeLeavesHeldSnapshotsAlone) {
  write_store("[" + fact_text(1, 100) + "]");
  auto held = store_.snapshot(symbols_, kNow);
  std::vector<Json> taken = store_.take(symbols_, kNow);
  taken[0]["content"] = "changed";
  EXPECT_EQ((*held)[0]["content"], "note 1");
  EXPECT_EQ(store_.load(symbols_, kNow)[0]["content"], "note 1");
  held.reset();
  // Nobody else holds the cached list now: it is handed over, and the next
  // load reads the file again.
  EXPECT_EQ(store_.take(symbols_, kNow)[0]["content"], "note 1");
  store_.load(symbols_, kNow);
  EXPECT_EQ(store_.last_load(), StoreLoad::kLoaded);
}

TEST_F(ContextStoreTest, AFileTornByAPowerLossReadsAsThePreviousSave) {
  write_store("[" + fact_text(1, 100) + "]");
  std::vector<Json> one = store_.load(symbols_, kNow);
  store_.save(one, kNow);
  std::vector<Json> two = one;
  two.push_back(store_.load(symbols_, kNow)[0]);
  two.back()["id"] = "m2";
  two.back()["content"] = "note 2";
  std::vector<Json> loaded;
  const std::string torn(64, '\0');
  {
    testing::HeldSyncs held(syncer_);  // power is lost before the second save is on disk
    store_.save(two, kNow);
    EXPECT_EQ(store_.load(symbols_, kNow).size(), 2u);
    write_store(torn);
    loaded = store_.load(symbols_, kNow);
  }
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0]["content"], "note 1");
  EXPECT_EQ(store_.last_load(), StoreLoad::kLoaded);
  // The torn file is still kept aside, not overwritten, at the next save.
  store_.save(loaded, kNow);
  ASSERT_EQ(corrupt_copies().size(), 1u);
  EXPECT_EQ(common::read_file(corrupt_copies()[0]), torn);
  EXPECT_EQ(store_.load(symbols_, kNow).size(), 1u);
}

TEST_F(ContextStoreTest, SavedFileIsExactlyTheIndentedAsciiArray) {
  Json entry = Json::parse(R"({"id": "m1", "kind": "fact", "content": "caf\u00e9 \ud83d\ude00", "tags": [],
      "evidence": {"n": 1}})");
  store_.save({entry}, kNow);
  EXPECT_EQ(read_store(),
            "[\n"
            "  {\n"
            "    \"id\": \"m1\",\n"
            "    \"kind\": \"fact\",\n"
            "    \"content\": \"caf\\u00e9 \\ud83d\\ude00\",\n"
            "    \"tags\": [],\n"
            "    \"evidence\": {\n"
            "      \"n\": 1\n"
            "    }\n"
            "  }\n"
            "]");
  store_.save({}, kNow);
  EXPECT_EQ(read_store(), "[]");
}

TEST_F(ContextStoreTest, MoreThan200EntriesAreRewrittenPrunedAtLoad) {
  std::string text = "[";
  for (int i = 0; i < 250; ++i) text += (i ? "," : "") + fact_text(i, 1000 + i);
  write_store(text + ", 17]");
  std::vector<Json> entries = store_.load(symbols_, kNow);
  ASSERT_EQ(entries.size(), 200u);
  EXPECT_EQ(entries.front()["id"], "m50");
  EXPECT_EQ(entries.back()["id"], "m249");
  std::optional<Json> on_disk = common::parse_json(read_store());
  ASSERT_TRUE(on_disk && on_disk->is_array());
  EXPECT_EQ(on_disk->size(), 200u);
  EXPECT_EQ((*on_disk)[0]["id"], "m50");
  EXPECT_TRUE(corrupt_copies().empty());
}

TEST_F(ContextStoreTest, UnusableFilesLoadEmptyAndAreSetAsideBeforeTheFirstSave) {
  const char* texts[] = {R"({"entries": []})", "[{\"content\": \"half", "null", "\xff\xfe[]"};
  for (const char* text : texts) {
    TempDir dir;
    ContextStore store(dir.path() / kStoreName);
    dir.write(kStoreName, text);
    EXPECT_TRUE(store.load(symbols_, kNow).empty()) << text;
    EXPECT_EQ(store.last_load(), StoreLoad::kCorrupt) << text;
    EXPECT_EQ(dir.read(kStoreName), text) << "a load never rewrites a damaged file";
    store.save({Json{{"id", "m1"}, {"content", "new"}}}, kNow);
    EXPECT_EQ(dir.read("context-store.json.corrupt-1767225600"), text);
    EXPECT_EQ(common::parse_json(dir.read(kStoreName))->size(), 1u);
    // The new file is sound: the next save replaces it without another copy.
    store.save({}, kNow + 1);
    EXPECT_FALSE(fs::exists(dir.path() / "context-store.json.corrupt-1767225601"));
  }
}

TEST_F(ContextStoreTest, SecondDamagedFileInTheSameSecondGetsItsOwnCopy) {
  write_store("{bad");
  store_.save({}, kNow);
  write_store("{worse");
  store_.save({}, kNow);
  EXPECT_EQ(dir_.read("data/context-store.json.corrupt-1767225600"), "{bad");
  EXPECT_EQ(dir_.read("data/context-store.json.corrupt-1767225600-2"), "{worse");
}

TEST_F(ContextStoreTest, SaveOverAFileWrittenElsewhereKeepsNoCopyWhenItIsSound) {
  store_.save({Json{{"content", "a"}}}, kNow);
  write_store("[" + fact_text(1, 100) + "]");
  store_.save({}, kNow);
  EXPECT_TRUE(corrupt_copies().empty());
}

TEST_F(ContextStoreTest, SaveThrowsWhenTheDirectoryCannotBeMade) {
  dir_.write("data", "a file where the data directory should be");
  EXPECT_THROW(store_.save({}, kNow), std::runtime_error);
}

}  // namespace
}  // namespace lumenfold::lodestar
