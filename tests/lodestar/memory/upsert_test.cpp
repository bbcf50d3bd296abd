#include "lumenfold/lodestar/memory/upsert.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using testing::TempDir;

constexpr double kNow = 1767225600.0;

class UpsertTest : public ::testing::Test {
 protected:
  std::vector<Json> stored() { return store_.load(symbols_, kNow); }

  TempDir dir_;
  ContextStore store_{dir_.path() / "context-store.json"};
  Json index_ = Json::parse(R"({"a.py::f": {"path": "a.py", "body_hash": "h1"}})");
  SymbolLookup symbols_ = lookup_in_json(index_);
};

TEST_F(UpsertTest, NonMemoriesStoreNothing) {
  EXPECT_FALSE(upsert_context_memory(store_, Json::array(), symbols_, kNow));
  EXPECT_FALSE(upsert_context_memory(store_, Json{{"kind", "fact"}}, symbols_, kNow));
  EXPECT_FALSE(fs::exists(store_.file()));
}

TEST_F(UpsertTest, NewMemoryIsAppendedAndReturnedNormalised) {
  upsert_context_memory(store_, Json{{"content", "first"}, {"created_epoch", 10}}, symbols_, kNow);
  std::optional<Json> out =
      upsert_context_memory(store_, Json{{"content", "second"}, {"files", {"a.py::f"}}}, symbols_, kNow + 1);
  ASSERT_TRUE(out);
  EXPECT_EQ((*out)["symbol_hash"], "h1");
  EXPECT_EQ((*out)["id"], "mem:1767225601000");
  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0]["content"], "first");
  EXPECT_EQ(entries[1], *out);
}

TEST_F(UpsertTest, EditObservationsOfOneFileMergeKeepingTheFirstContent) {
  Json first = {{"kind", "edit_observation"},
                {"content", "renamed x"},
                {"file_path", "b.py"},
                {"updated_at", "2026-01-01T00:00:00+00:00"},
                {"evidence", {{"edits", 1}}}};
  Json second = {{"kind", "edit_observation"},
                 {"content", "added y"},
                 {"file_path", "b.py"},
                 {"updated_at", "2026-01-02T00:00:00+00:00"},
                 {"evidence", {{"edits", 2}}}};
  upsert_context_memory(store_, first, symbols_, kNow);
  std::optional<Json> merged = upsert_context_memory(store_, second, symbols_, kNow + 60);
  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0], *merged);
  EXPECT_EQ(entries[0]["content"], "renamed x");
  EXPECT_EQ(entries[0]["updated_at"], "2026-01-02T00:00:00+00:00");
  EXPECT_EQ(entries[0]["evidence"].dump(), R"({"edits":2})");
}

TEST_F(UpsertTest, FactsDifferingInContentAreDistinctMemories) {
  upsert_context_memory(store_, Json{{"content", "Use X"}}, symbols_, kNow);
  upsert_context_memory(store_, Json{{"content", "use x"}}, symbols_, kNow);
  upsert_context_memory(store_, Json{{"content", "Use X"}, {"tags", {"t"}}}, symbols_, kNow);
  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0]["tags"].dump(), R"(["t"])");
}

TEST_F(UpsertTest, ReturnedEntryMayBePrunedAway) {
  for (int i = 0; i < 3; ++i) {
    upsert_context_memory(store_,
                          Json{{"kind", "decision"}, {"content", "d" + std::to_string(i)}, {"created_epoch", 1000 + i}},
                          symbols_, kNow);
  }
  std::optional<Json> old = upsert_context_memory(
      store_, Json{{"kind", "decision"}, {"content", "ancient"}, {"created_epoch", 5}}, symbols_, kNow);
  ASSERT_TRUE(old);
  EXPECT_EQ((*old)["content"], "ancient");
  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0]["content"], "d0");
}

// Several memories stored in one write end as they would after one call
// each: same file, same returned entries. Random batches over a nearly full
// store, with merges, group caps, equal creation times (which pruning
// reorders), anchors a read still completes, and non-memories.
TEST_F(UpsertTest, ABatchEndsAsOneCallPerMemoryWould) {
  std::mt19937 rng(11);
  const char* kinds[] = {"query_association", "interaction_pattern", "decision", "fact", "edit_observation"};
  const char* files[] = {"a.py::f", " a.py::f", "b.py", "c.py", "d.py::g"};
  auto random_memory = [&](int i) -> Json {
    if (rng() % 12 == 0) return Json{{"kind", "fact"}};  // no content: not a memory
    Json files_list = Json::array({files[rng() % 5]});
    return Json{{"kind", kinds[rng() % 5]},
                {"content", "note " + std::to_string(rng() % 6)},
                {"files", files_list},
                {"created_epoch", kNow - 100 * static_cast<double>(rng() % 4)},
                {"evidence", {{"n", i}}}};
  };
  TempDir other;
  ContextStore one_by_one{other.path() / "context-store.json"};
  std::vector<Json> seed;
  for (int i = 0; i < 195; ++i) {
    seed.push_back(Json{{"id", "s" + std::to_string(i)},
                        {"content", "seed " + std::to_string(i)},
                        {"file_path", "s" + std::to_string(i % 40) + ".py"},
                        {"created_epoch", kNow - 500 + i % 3}});
  }
  store_.save(seed, kNow);
  one_by_one.save(seed, kNow);
  for (int round = 0; round < 60; ++round) {
    std::vector<Json> batch;
    for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n) batch.push_back(random_memory(round));
    double now = kNow + round;
    std::vector<std::optional<Json>> together = upsert_context_memories(store_, batch, symbols_, now);
    ASSERT_EQ(together.size(), batch.size());
    for (size_t i = 0; i < batch.size(); ++i) {
      EXPECT_EQ(upsert_context_memory(one_by_one, batch[i], symbols_, now), together[i]) << round << " " << i;
    }
    ASSERT_EQ(common::read_file(store_.file()), common::read_file(one_by_one.file())) << "round " << round;
  }
  EXPECT_EQ(stored().size(), 200u);
}

}  // namespace
}  // namespace lumenfold::lodestar
