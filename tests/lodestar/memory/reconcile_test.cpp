#include "lumenfold/lodestar/memory/reconcile.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using testing::TempDir;

constexpr double kNow = 1767225600.0;
constexpr const char* kNowIso = "2026-01-01T00:00:00+00:00";

class ReconcileTest : public ::testing::Test {
 protected:
  void write_store(const Json& entries) { dir_.write("context-store.json", common::dump_indented(entries)); }
  std::string store_text() const { return dir_.read("context-store.json"); }
  std::vector<Json> reconcile(const Json& index) {
    return reconcile_context_store(store_, lookup_in_json(index), kNow);
  }
  std::vector<Json> stored() { return store_.load(no_symbols(), kNow); }

  TempDir dir_;
  ContextStore store_{dir_.path() / "context-store.json"};
};

Json anchored(const char* id, const char* kind, const char* symbol_id, const char* hash) {
  return Json{{"id", id},
              {"kind", kind},
              {"content", std::string("about ") + symbol_id},
              {"files", {symbol_id}},
              {"file_path", "src/a.py"},
              {"symbol_id", symbol_id},
              {"symbol_hash", hash},
              {"created_at", "2025-12-01T00:00:00+00:00"},
              {"created_epoch", 1764547200},
              {"observed_queries", {"login"}}};
}

TEST_F(ReconcileTest, NoFileGivesNothingAndWritesNothing) {
  EXPECT_TRUE(reconcile(Json::object()).empty());
  EXPECT_FALSE(fs::exists(store_.file()));
}

TEST_F(ReconcileTest, ChangedBodyMarksTheEntryAndRecordsOneMarker) {
  write_store(Json::array({anchored("m1", "decision", "src/a.py::f", "old")}));
  Json index = Json::parse(R"({"src/a.py::f": {"body_hash": "new", "path": "src/a.py"}})");
  std::vector<Json> returned = reconcile(index);
  ASSERT_EQ(returned.size(), 1u);
  EXPECT_EQ(returned[0]["stale"], true);
  EXPECT_EQ(returned[0]["stale_reason"], "symbol body changed");
  EXPECT_EQ(returned[0]["updated_at"], kNowIso);
  EXPECT_EQ(returned[0]["symbol_hash"], "old");

  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0]["id"], "m1");
  EXPECT_EQ(entries[1].dump(),
            R"({"id":"mem:1767225600000","kind":"stale_marker","content":"Marked stale because symbol body changed",)"
            R"("tags":[],"files":["src/a.py::f"],"file_path":"src/a.py","symbol_id":"src/a.py::f","symbol_hash":"old",)"
            R"("created_at":"2026-01-01T00:00:00+00:00","created_epoch":1767225600,)"
            R"("updated_at":"2026-01-01T00:00:00+00:00","stale":true,"stale_reason":"symbol body changed",)"
            R"("observed_queries":["login"],"evidence":{"source_kind":"decision"}})");

  std::string before = store_text();
  reconcile(index);
  EXPECT_EQ(store_text(), before);
}

TEST_F(ReconcileTest, RemovedSymbolMarksTheEntryWithItsKind) {
  write_store(Json::array({anchored("m1", "task", "src/a.py::gone", "h")}));
  reconcile(Json::object());
  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0]["stale_reason"], "symbol removed");
  EXPECT_EQ(entries[1]["content"], "Marked stale because symbol removed");
  EXPECT_EQ(entries[1]["evidence"].dump(), R"({"source_kind":"task"})");
  // The symbol comes back changed: the entry takes the new reason, and the
  // one marker per anchor that the store keeps takes it too.
  reconcile(Json::parse(R"({"src/a.py::gone": {"body_hash": "h2"}})"));
  entries = stored();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0]["stale_reason"], "symbol body changed");
  EXPECT_EQ(entries[1]["kind"], "stale_marker");
  EXPECT_EQ(entries[1]["stale_reason"], "symbol body changed");
}

TEST_F(ReconcileTest, EmptyHashTakesTheIndexHashWithoutGoingStale) {
  Json entry = anchored("m1", "fact", "src/a.py::f", "");
  entry["file_path"] = "";
  write_store(Json::array({entry}));
  std::vector<Json> returned = reconcile(Json::parse(R"({"src/a.py::f": {"body_hash": "cur"}})"));
  EXPECT_EQ(returned[0]["symbol_hash"], "cur");
  EXPECT_EQ(returned[0]["stale"], false);
  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0]["symbol_hash"], "cur");
}

TEST_F(ReconcileTest, EntriesWithoutSymbolAreNeverTouched) {
  write_store(Json::parse(R"([{"id": "m1", "content": "plain", "file_path": "src/a.py", "created_epoch": 5}])"));
  std::string before = store_text();
  std::vector<Json> returned = reconcile(Json::object());
  ASSERT_EQ(returned.size(), 1u);
  EXPECT_EQ(returned[0]["stale"], false);
  EXPECT_EQ(store_text(), before);
}

TEST_F(ReconcileTest, NothingToChangeSharesTheCachedEntries) {
  write_store(Json::array({anchored("m1", "fact", "src/a.py::f", "h")}));
  Json index = Json::parse(R"({"src/a.py::f": {"body_hash": "h", "path": "src/a.py"}})");
  auto first = reconcile_context_snapshot(store_, lookup_in_json(index), kNow);
  auto second = reconcile_context_snapshot(store_, lookup_in_json(index), kNow);
  EXPECT_EQ(first.get(), second.get());
  EXPECT_EQ(store_.last_load(), StoreLoad::kCached);
}

TEST_F(ReconcileTest, EmptyOrDamagedIndexRecordsCountAsRemoved) {
  write_store(Json::array({anchored("m1", "fact", "a.py::f", "h"), anchored("m2", "fact", "a.py::g", "h")}));
  reconcile(Json::parse(R"({"a.py::f": {}, "a.py::g": "h"})"));
  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0]["stale_reason"], "symbol removed");
  EXPECT_EQ(entries[1]["stale_reason"], "symbol removed");
}

}  // namespace
}  // namespace lumenfold::lodestar
