#include "lumenfold/lodestar/memory/read_capture.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/memory/context_store.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using testing::TempDir;

constexpr int64_t kNow = 1767225600;  // 2026-01-01T00:00:00Z
constexpr int64_t kSession = kNow - 3600;

class ReadCaptureTest : public ::testing::Test {
 protected:
  // Records a read `age` seconds ago, as graph_read does before capturing.
  void record_read(std::string_view file, std::string_view query, int64_t age) {
    record_action(graph_file_, "read", Json{{"file", std::string(file)}, {"query", std::string(query)}}, kNow - age);
  }
  void capture(std::string_view file, std::string_view base, std::string_view query,
               const std::vector<std::string>& qterms, int64_t now = kNow) {
    MemoryScope scope{store_, symbols_, static_cast<double>(now), kSession};
    capture_read_memory(scope, logged_actions(load_action_graph(graph_file_)), file, base, query, qterms);
  }
  std::vector<Json> stored() { return store_.load(symbols_, static_cast<double>(kNow)); }

  TempDir dir_;
  fs::path graph_file_ = dir_.path() / "chat_action_graph.json";
  ContextStore store_{dir_.path() / "context-store.json"};
  Json index_ = Json::parse(R"({"src/a.py::f": {"path": "src/a.py", "body_hash": "h1"}})");
  SymbolLookup symbols_ = lookup_in_json(index_);
};

TEST_F(ReadCaptureTest, FileReadRecordsItsQueryAssociation) {
  record_read("src/a.py", "login flow", 0);
  capture("src/a.py", "src/a.py", "  login flow \n", {"login", "flow"});
  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].dump(),
            R"({"id":"mem:1767225600000","kind":"query_association","content":"Queried during: login flow",)"
            R"("tags":["login","flow"],"files":["src/a.py"],"file_path":"src/a.py","symbol_id":"",)"
            R"("symbol_hash":"","created_at":"2026-01-01T00:00:00+00:00","created_epoch":1767225600,)"
            R"("updated_at":"2026-01-01T00:00:00+00:00","stale":false,"stale_reason":"",)"
            R"("observed_queries":["login flow"],)"
            R"("evidence":{"source":"graph_read","anchor_mode":"file","session_epoch":1767222000}})");
}

TEST_F(ReadCaptureTest, SymbolReadAnchorsToTheSymbol) {
  capture("src/a.py::f", "src/a.py", "login", {"login"});
  capture("src/b.py::g", "src/b.py", "login", {"login"}, kNow + 1);
  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 2u);
  struct Expected {
    std::string files;
    std::string file_path;
    std::string symbol_id;
    std::string symbol_hash;
  };
  const Expected expected[] = {{R"(["src/a.py::f"])", "src/a.py", "src/a.py::f", "h1"},
                               {R"(["src/b.py::g"])", "src/b.py", "src/b.py::g", ""}};
  for (size_t i = 0; i < 2; ++i) {
    const Json& e = entries[i];
    EXPECT_EQ(e["files"].dump(), expected[i].files);
    EXPECT_EQ(e["file_path"], expected[i].file_path);
    EXPECT_EQ(e["symbol_id"], expected[i].symbol_id);
    EXPECT_EQ(e["symbol_hash"], expected[i].symbol_hash);
    EXPECT_EQ(e["evidence"].dump(), R"({"source":"graph_read","anchor_mode":"symbol","session_epoch":1767222000})");
  }
}

TEST_F(ReadCaptureTest, BlankQueryAndSingleReadStoreNothing) {
  record_read("src/a.py", "", 0);
  capture("src/a.py", "src/a.py", " \t ", {});
  EXPECT_FALSE(fs::exists(store_.file()));
}

TEST_F(ReadCaptureTest, EachDistinctQueryHasItsOwnAssociation) {
  capture("src/a.py", "src/a.py", "login", {"login"});
  capture("src/a.py", "src/a.py", "logout", {"logout"});
  capture("src/a.py", "src/a.py", "login", {"login"}, kNow + 5);
  std::vector<std::string> contents;
  for (const Json& e : stored()) contents.push_back(e["content"]);
  std::sort(contents.begin(), contents.end());
  EXPECT_EQ(contents, (std::vector<std::string>{"Queried during: login", "Queried during: logout"}));
}

TEST_F(ReadCaptureTest, RepeatedReadsRecordAnInteractionPattern) {
  record_read("src/b.py", "setup", 30);
  record_read("src/a.py", "q1", 20);
  record_read("src/a.py", "q2", 10);
  capture("src/a.py", "src/a.py", "", {});
  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].dump(),
            R"({"id":"mem:1767225600000","kind":"interaction_pattern","content":"Frequently read with: src/b.py",)"
            R"("tags":[],"files":["src/a.py"],"file_path":"src/a.py","symbol_id":"","symbol_hash":"",)"
            R"("created_at":"2026-01-01T00:00:00+00:00","created_epoch":1767225600,)"
            R"("updated_at":"2026-01-01T00:00:00+00:00","stale":false,"stale_reason":"",)"
            R"("observed_queries":["q2","q1"],)"
            R"("evidence":{"source":"graph_read","read_count":2,"co_visited":["src/b.py"]}})");
}

TEST_F(ReadCaptureTest, PatternWithoutCoVisitsSaysRepeatedlyVisited) {
  record_read("src/a.py::f", "", 20);
  record_read("src/a.py::f", "", 10);
  capture("src/a.py::f", "src/a.py", "", {});
  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0]["content"], "Repeatedly visited during recent work");
  EXPECT_EQ(entries[0]["evidence"].dump(), R"({"source":"graph_read","read_count":2,"co_visited":[]})");
}

TEST_F(ReadCaptureTest, LaterReadsMergeIntoThePatternKeepingItsContent) {
  record_read("src/b.py", "", 40);
  record_read("src/a.py", "q1", 30);
  record_read("src/a.py", "q1", 20);
  capture("src/a.py", "src/a.py", "", {});
  record_read("src/c.py", "", 10);
  record_read("src/a.py", "q3", 0);
  capture("src/a.py", "src/a.py", "", {}, kNow + 1);
  std::vector<Json> entries = stored();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0]["content"], "Frequently read with: src/b.py");
  EXPECT_EQ(entries[0]["updated_at"], "2026-01-01T00:00:01+00:00");
  EXPECT_EQ(entries[0]["observed_queries"].dump(), R"(["q1","q3"])");
  EXPECT_EQ(entries[0]["evidence"].dump(),
            R"({"source":"graph_read","read_count":3,"co_visited":["src/b.py","src/c.py"]})");
}

}  // namespace
}  // namespace lumenfold::lodestar
