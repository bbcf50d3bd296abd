#include "lumenfold/lodestar/actions/action_graph_store.h"

#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/actions/file_records.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using testing::TempDir;

constexpr int64_t kNow = 1767225600;  // 2026-01-01T00:00:00Z

class ActionGraphStoreTest : public ::testing::Test {
 protected:
  TempDir dir_;
  fs::path file_ = dir_.path() / "chat_action_graph.json";
  ActionGraphStore store_{file_};
};

TEST_F(ActionGraphStoreTest, MissingFileLoadsEmptyAndStaysMissing) {
  EXPECT_EQ(store_.document(), empty_action_graph());
  EXPECT_FALSE(fs::exists(file_));
}

TEST_F(ActionGraphStoreTest, RecordedActionsReachTheFile) {
  store_.record_action("read", Json{{"file", "a.py"}}, kNow);
  store_.record_action("impact", Json{{"changed_files", {"a.py"}}}, kNow + 1);
  Json on_disk = load_action_graph(file_);
  ASSERT_EQ(on_disk["actions"].size(), 2u);
  EXPECT_EQ(on_disk["actions"][1]["kind"], "impact");
  EXPECT_EQ(store_.document(), on_disk);
}

TEST_F(ActionGraphStoreTest, AnotherWritersChangeIsReadAgain) {
  store_.record_action("read", Json{{"file", "a.py"}}, kNow);
  // Another process appends through the file; the cached copy is stale.
  record_action(file_, "impact", Json::object(), kNow + 1);
  EXPECT_EQ(store_.document()["actions"].size(), 2u);
  store_.record_action("read", Json{{"file", "b.py"}}, kNow + 2);
  EXPECT_EQ(load_action_graph(file_)["actions"].size(), 3u);
}

TEST_F(ActionGraphStoreTest, EditsAreSavedTogether) {
  store_.append_action("read", Json{{"file", "a.py"}}, kNow);
  store_.ensure_node("a.py", "file");
  EXPECT_FALSE(fs::exists(file_));
  store_.save(kNow);
  Json on_disk = load_action_graph(file_);
  EXPECT_EQ(on_disk["actions"].size(), 1u);
  EXPECT_EQ(on_disk["nodes"][0]["id"], "a.py");
}

TEST_F(ActionGraphStoreTest, NodesAreFoundInTheDocumentAsItIsNow) {
  store_.ensure_node("query:a", "query", Json{{"text", "a"}});
  store_.ensure_node("query:a", "query");
  store_.save(kNow);
  EXPECT_EQ(load_action_graph(file_)["nodes"].size(), 1u);
  // Another process starts the graph over (as a scan does): the node must
  // be added again, not taken for known.
  save_action_graph(file_, Json{{"nodes", {Json{{"id", "x"}}, Json{{"id", "y"}}}}});
  store_.ensure_node("query:a", "query");
  store_.ensure_node("x", "file");
  store_.save(kNow);
  EXPECT_EQ(load_action_graph(file_)["nodes"].dump(), R"([{"id":"x"},{"id":"y"},{"id":"query:a","type":"query"}])");
  // The same after unsaved changes are dropped, and after a replacement.
  store_.ensure_node("query:b", "query");
  store_.discard();
  store_.ensure_node("query:b", "query");
  store_.save(kNow);
  EXPECT_EQ(load_action_graph(file_)["nodes"].back()["id"], "query:b");
  store_.reset(kNow);
  store_.ensure_node("query:b", "query");
  store_.save(kNow);
  EXPECT_EQ(load_action_graph(file_)["nodes"].size(), 1u);
}

TEST_F(ActionGraphStoreTest, TheLogIsInStepAfterManyCallsThatDidNotAskForIt) {
  // Reads ask for the log; other tools only append to it. Hundreds of
  // those between two reads free actions whose addresses new ones reuse.
  auto record = [&](int i) {
    store_.record_action(i % 2 ? "retrieve" : "read", Json{{"file", "f" + std::to_string(i) + ".py"}}, kNow + i);
  };
  for (int i = 0; i < 300; ++i) record(i);
  ASSERT_EQ(store_.logged_actions().size(), 300u);
  for (int i = 300; i < 610; ++i) record(i);
  std::span<const LoggedAction> kept = store_.logged_actions();
  std::vector<LoggedAction> fresh = logged_actions(load_action_graph(file_));
  ASSERT_EQ(kept.size(), fresh.size());
  for (size_t i = 0; i < fresh.size(); ++i) {
    EXPECT_EQ(kept[i].file, fresh[i].file) << i;
    EXPECT_EQ(kept[i].is_read, fresh[i].is_read) << i;
    EXPECT_EQ(kept[i].ts, fresh[i].ts) << i;
  }
}

TEST_F(ActionGraphStoreTest, FailedSaveForgetsTheUnsavedCopy) {
  store_.record_action("read", Json{{"file", "a.py"}}, kNow);
  // A data directory that became a file: nothing can be written below it.
  const fs::path blocked = dir_.path() / "blocked";
  dir_.write("blocked", "not a directory");
  ActionGraphStore blocked_store(blocked / "g.json");
  blocked_store.append_action("read", Json::object(), kNow);
  EXPECT_THROW(blocked_store.save(kNow), std::runtime_error);
  EXPECT_EQ(blocked_store.document(), empty_action_graph());
  EXPECT_EQ(store_.document()["actions"].size(), 1u);
}

TEST_F(ActionGraphStoreTest, DiscardDropsUnsavedChanges) {
  store_.record_action("read", Json{{"file", "a.py"}}, kNow);
  store_.append_action("impact", Json::object(), kNow + 1);
  EXPECT_EQ(store_.document()["actions"].size(), 2u);
  store_.discard();
  EXPECT_EQ(store_.document()["actions"].size(), 1u);
}

TEST_F(ActionGraphStoreTest, SaveReplacesTheWholeDocument) {
  store_.record_action("read", Json{{"file", "a.py"}}, kNow);
  store_.reset(kNow);
  EXPECT_EQ(load_action_graph(file_), empty_action_graph());
  EXPECT_EQ(store_.document(), empty_action_graph());
}

TEST_F(ActionGraphStoreTest, DamagedFilesLoadEmptyAndAreSetAsideBeforeTheFirstSave) {
  const char* texts[] = {"{\"actions\": [{\"kind\": \"re", "[]", "null", "\xff\xfe{}", ""};
  for (const char* text : texts) {
    TempDir dir;
    const fs::path file = dir.path() / "chat_action_graph.json";
    ActionGraphStore store(file);
    dir.write("chat_action_graph.json", text);
    EXPECT_EQ(store.document(), empty_action_graph()) << text;
    EXPECT_EQ(dir.read("chat_action_graph.json"), text) << "a load never rewrites a damaged file";
    store.record_action("read", Json{{"file", "a.py"}}, kNow);
    EXPECT_EQ(dir.read("chat_action_graph.json.corrupt-1767225600"), text);
    EXPECT_EQ(load_action_graph(file)["actions"].size(), 1u) << text;
    // The new file is this store's own: the next save replaces it as it is.
    store.record_action("read", Json{{"file", "b.py"}}, kNow + 1);
    EXPECT_FALSE(fs::exists(dir.path() / "chat_action_graph.json.corrupt-1767225601")) << text;
  }
}

TEST_F(ActionGraphStoreTest, DamageMadeByAnotherWriterIsSetAsideToo) {
  store_.record_action("read", Json{{"file", "a.py"}}, kNow);
  dir_.write("chat_action_graph.json", "{\"nodes\": [}");
  store_.reset(kNow + 5);
  EXPECT_EQ(dir_.read("chat_action_graph.json.corrupt-1767225605"), "{\"nodes\": [}");
  EXPECT_EQ(load_action_graph(file_), empty_action_graph());
}

TEST_F(ActionGraphStoreTest, SoundFilesWrittenElsewhereAreReplacedWithoutACopy) {
  save_action_graph(file_, Json{{"nodes", Json::array()}});
  store_.record_action("read", Json{{"file", "a.py"}}, kNow);
  for (const auto& e : fs::directory_iterator(dir_.path())) {
    EXPECT_EQ(e.path().filename().string().find(".corrupt-"), std::string::npos) << e.path();
  }
}

TEST_F(ActionGraphStoreTest, EveryChangeIsSavedAsTheWholeDocumentLaidOutAfresh) {
  // The same changes made to a plain document; after each save the file
  // must hold its full layout, whatever texts the store kept from before.
  Json expected = empty_action_graph();
  const std::vector<std::string> files = {"a.py", "b.py", "a.py"};
  for (int64_t i = 0; i < 3; ++i) {
    const int64_t now = kNow + i;
    const Json record{{"query_terms", {"login"}}, {"last_ts", now}};
    store_.append_action("read", Json{{"file", "a.py"}}, now);
    store_.ensure_node("query:login", "query");
    store_.add_edge("query:login", "a.py", "read", now, Json{{"mode", "full"}});
    store_.put_file_record("a.py", record);
    store_.mark_files_edited("action:edit", files, now, "t" + std::to_string(i));
    store_.append_decision(Json{{"summary", "change " + std::to_string(i)}}, 2, 40);
    store_.save(now);

    append_action(expected, "read", Json{{"file", "a.py"}}, now);
    ensure_node(expected, "query:login", "query");
    add_edge(expected, "query:login", "a.py", "read", now, Json{{"mode", "full"}});
    expected["files"]["a.py"] = record;
    for (const std::string& f : files) {
      ensure_node(expected, f, "file");
      add_edge(expected, "action:edit", f, "edited", now);
      mark_file_edited(expected, f, "t" + std::to_string(i));
    }
    append_decision(expected, Json{{"summary", "change " + std::to_string(i)}}, 2, 40);
    EXPECT_EQ(dir_.read("chat_action_graph.json"), common::dump_indented(expected)) << i;
  }
  EXPECT_EQ(store_.total_edit_count(), 5);  // a.py twice since its last read record, b.py three times
  EXPECT_EQ(expected["decisions_archive"], "change 0");
}

}  // namespace
}  // namespace lumenfold::lodestar
