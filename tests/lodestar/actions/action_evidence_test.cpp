#include "lumenfold/lodestar/actions/action_evidence.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/actions/action_graph.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using testing::TempDir;

constexpr int64_t kNow = 1767225600;  // 2026-01-01T00:00:00Z

// An action `age` seconds old.
Json action(int64_t age, std::string_view kind, Json payload) {
  return Json{{"ts", kNow - age}, {"kind", std::string(kind)}, {"payload", std::move(payload)}};
}

Json read_of(int64_t age, std::string_view file, std::string_view query = "") {
  Json payload = {{"kind", "read"}, {"file", std::string(file)}};
  if (!query.empty()) payload["query"] = std::string(query);
  return action(age, "read", std::move(payload));
}

class ActionEvidenceTest : public ::testing::Test {
 protected:
  // Writes the graph with `actions` listed oldest first, as the store keeps them.
  void write_graph(const std::vector<Json>& actions, const Json& files = Json::object()) {
    Json graph = {{"nodes", Json::array()}, {"edges", Json::array()}, {"files", files}, {"actions", Json(actions)}};
    dir_.write("chat_action_graph.json", graph.dump(2));
  }

  TempDir dir_;
  fs::path file_ = dir_.path() / "chat_action_graph.json";
};

// --- recent_action_evidence ---------------------------------------------

TEST_F(ActionEvidenceTest, EvidenceWithoutRecentActionsKeepsTheWindowGiven) {
  EXPECT_EQ(recent_action_evidence(load_action_graph(file_), {"src/a.py"}, kNow).dump(),
            R"({"window_sec":120,"recent_action_kinds":[],"recent_queries":[]})");
  write_graph({read_of(500, "src/a.py", "old")});
  EXPECT_EQ(recent_action_evidence(load_action_graph(file_), {"src/a.py"}, kNow, 45).dump(),
            R"({"window_sec":45,"recent_action_kinds":[],"recent_queries":[]})");
  EXPECT_FALSE(fs::exists(dir_.path() / "missing.json"));
}

TEST_F(ActionEvidenceTest, EvidenceWindowIncludesItsEdgeAndNeverUntimedActions) {
  Json untimed = {{"kind", "untimed"}, {"payload", {{"query", "q0"}}}};
  write_graph({
      action(121, "too_old", {{"query", "q1"}}),
      action(120, "edge", {{"query", "q2"}}),
      action(kNow, "ts_zero", {{"query", "q3"}}),
      untimed,
      {{"ts", nullptr}, {"kind", "ts_null"}, {"payload", Json::object()}},
      {{"ts", false}, {"kind", "ts_false"}, {"payload", Json::object()}},
      action(0, "now", Json::object()),
  });
  EXPECT_EQ(recent_action_evidence(load_action_graph(file_), {"src/a.py"}, kNow).dump(),
            R"({"window_sec":120,"recent_action_kinds":["now","edge"],"recent_queries":["q2"]})");
}

TEST_F(ActionEvidenceTest, EvidenceCountsActionsWithoutFileAndReadsOfTheSameBase) {
  write_graph({
      action(50, "retrieve", {{"kind", "retrieve"}, {"query", "  login flow  "}}),
      read_of(40, "src/other.py", "unrelated"),
      read_of(30, "src/a.py", "whole file"),
      read_of(20, "src/a.py::g", "sibling symbol"),
      action(10, "retrieve", {{"kind", "retrieve"}, {"query", "login flow"}}),
  });
  EXPECT_EQ(recent_action_evidence(load_action_graph(file_), {"src/a.py::f"}, kNow).dump(),
            R"({"window_sec":120,"recent_action_kinds":["retrieve","read"],)"
            R"("recent_queries":["login flow","sibling symbol","whole file"]})");
}

TEST_F(ActionEvidenceTest, EvidenceKeepsTheNewestSixKindsAndThreeQueries) {
  std::vector<Json> actions;
  for (int i = 8; i >= 1; --i) {
    actions.push_back(action(i, "k" + std::to_string(i), {{"query", "q" + std::to_string(i)}}));
  }
  actions.push_back(action(0, "k1", {{"query", ""}}));
  actions.push_back(action(0, "", {{"query", nullptr}}));
  write_graph(actions);
  EXPECT_EQ(recent_action_evidence(load_action_graph(file_), {}, kNow).dump(),
            R"({"window_sec":120,"recent_action_kinds":["k1","k2","k3","k4","k5","k6"],)"
            R"("recent_queries":["q1","q2","q3"]})");
}

// --- recent_read_context ------------------------------------------------

TEST_F(ActionEvidenceTest, ReadContextOfASymbolCountsOnlyThatSymbol) {
  write_graph({
      read_of(60, "src/a.py::f", "first look"),
      read_of(50, "src/b.py", "elsewhere"),
      read_of(40, "src/a.py", "whole file"),
      read_of(30, "src/a.py::g"),
      action(25, "retrieve", {{"kind", "retrieve"}, {"query", "not a read"}}),
      action(20, "read_cache_hit", {{"kind", "read_cache_hit"}, {"file", "src/a.py::f"}, {"query", " again "}}),
      read_of(10, "src/a.py::f", "first look"),
  });
  EXPECT_EQ(recent_read_context(logged_actions(load_action_graph(file_)), "src/a.py::f", kNow).dump(),
            R"({"read_count":3,"co_visited":["src/a.py::g","src/a.py"],"queries":["first look","again"]})");
}

TEST_F(ActionEvidenceTest, ReadContextOfAFileCountsItsSymbolsAndThreeOtherFiles) {
  write_graph({
      read_of(70, "src/e.py"),
      read_of(60, "src/d.py"),
      read_of(50, "src/c.py"),
      read_of(40, "src/a.py::f", "symbol read"),
      read_of(30, "src/b.py"),
      read_of(20, "src/c.py"),
      read_of(10, "src/a.py", "file read"),
  });
  EXPECT_EQ(recent_read_context(logged_actions(load_action_graph(file_)), "src/a.py", kNow).dump(),
            R"({"read_count":2,"co_visited":["src/c.py","src/b.py","src/d.py"],)"
            R"("queries":["file read","symbol read"]})");
}

TEST_F(ActionEvidenceTest, ReadContextTakesOtherValuesAsTextAndTrimsWhatItLists) {
  write_graph({
      action(50, "read", {{"kind", "read"}, {"file", "src/a.py"}, {"query", 42}}),
      action(40, "read", {{"kind", "read"}, {"file", "  src/b.py "}, {"query", "x"}}),
      action(35, "read", {{"kind", "read"}, {"file", "src/b.py"}}),
      action(30, "read", {{"kind", "read"}, {"file", "src/a.py"}, {"query", false}}),
      action(20, "read", {{"kind", "read"}, {"file", 7}}),
      action(10, "read", {{"kind", "read"}, {"file", "src/a.py"}, {"query", "   "}}),
  });
  EXPECT_EQ(recent_read_context(logged_actions(load_action_graph(file_)), "src/a.py", kNow).dump(),
            R"({"read_count":3,"co_visited":["7","src/b.py"],"queries":["42"]})");
}

TEST_F(ActionEvidenceTest, ReadContextLooksTenMinutesBack) {
  EXPECT_EQ(recent_read_context(logged_actions(load_action_graph(file_)), "src/a.py", kNow).dump(),
            R"({"read_count":0,"co_visited":[],"queries":[]})");
  write_graph({read_of(601, "src/a.py", "too old"), read_of(600, "src/a.py", "edge")});
  EXPECT_EQ(recent_read_context(logged_actions(load_action_graph(file_)), "src/a.py", kNow).dump(),
            R"({"read_count":1,"co_visited":[],"queries":["edge"]})");
  EXPECT_EQ(recent_read_context(logged_actions(load_action_graph(file_)), "src/a.py", kNow, 5).dump(),
            R"({"read_count":0,"co_visited":[],"queries":[]})");
}

// --- search_action_history ----------------------------------------------

TEST_F(ActionEvidenceTest, SearchMatchesActionsBySubstringAndFilesByWholeTerm) {
  Json files = Json::parse(R"({
    "src/author.py": {"query_terms": ["authentication"], "edited_count": 5},
    "src/auth.py": {"query_terms": ["auth", "tokens", "auth"]},
    "src/none.py": {"last_action": "read"}
  })");
  write_graph(
      {
          read_of(30, "src/author.py"),
          action(20, "retrieve", {{"kind", "retrieve"}, {"query", "Refresh TOKENS"}, {"response_chars", 4096}}),
          read_of(10, "src/unrelated.py"),
      },
      files);
  EXPECT_EQ(search_action_history(load_action_graph(file_), "auth tokens 4096").dump(),
            R"({"action_hits":[{"kind":"retrieve","file":"","overlap":2},)"
            R"({"kind":"read","file":"src/author.py","overlap":1}],)"
            R"("file_hits":[{"file":"src/auth.py","overlap":2,"edited_count":0}]})");
}

TEST_F(ActionEvidenceTest, SearchWithoutTermsListsNewestActionsAndMostEditedFiles) {
  Json files = Json::parse(R"({
    "src/b.py": {"edited_count": 1}, "src/c.py": {"edited_count": 3},
    "src/a.py": {"edited_count": 1}, "src/d.py": {}
  })");
  write_graph({read_of(30, "src/a.py"), read_of(20, "src/b.py"), read_of(10, "src/c.py")}, files);
  EXPECT_EQ(search_action_history(load_action_graph(file_), "the fix", 2).dump(),
            R"({"action_hits":[{"kind":"read","file":"src/c.py","overlap":0},)"
            R"({"kind":"read","file":"src/b.py","overlap":0}],)"
            R"("file_hits":[{"file":"src/c.py","overlap":0,"edited_count":3},)"
            R"({"file":"src/a.py","overlap":0,"edited_count":1}]})");
}

TEST_F(ActionEvidenceTest, SearchTestsTheLimitAfterEachAppend) {
  write_graph({read_of(20, "src/a.py"), read_of(10, "src/b.py")},
              Json::parse(R"({"src/a.py": {"query_terms": ["login"]}})"));
  EXPECT_EQ(search_action_history(load_action_graph(file_), "", 0).dump(),
            R"({"action_hits":[{"kind":"read","file":"src/b.py","overlap":0}],"file_hits":[]})");
  EXPECT_EQ(search_action_history(load_action_graph(file_), "", -1).dump(),
            R"({"action_hits":[{"kind":"read","file":"src/b.py","overlap":0}],"file_hits":[]})");
}

TEST_F(ActionEvidenceTest, SearchOrdersFileHitsByOverlapThenEditsThenName) {
  Json files = Json::parse(R"({
    "src/z.py": {"query_terms": ["login"], "edited_count": 2},
    "src/m.py": {"query_terms": ["login", "handler"]},
    "src/b.py": {"query_terms": ["login"], "edited_count": 2},
    "src/a.py": {"query_terms": ["login"], "edited_count": "1"}
  })");
  write_graph({}, files);
  EXPECT_EQ(search_action_history(load_action_graph(file_), "login handler").dump(),
            R"({"action_hits":[],"file_hits":[{"file":"src/m.py","overlap":2,"edited_count":0},)"
            R"({"file":"src/b.py","overlap":1,"edited_count":2},{"file":"src/z.py","overlap":1,"edited_count":2},)"
            R"({"file":"src/a.py","overlap":1,"edited_count":1}]})");
}

TEST_F(ActionEvidenceTest, HostileActionsAndRecordsReadAsEmpty) {
  EXPECT_EQ(search_action_history(load_action_graph(file_), "login").dump(), R"({"action_hits":[],"file_hits":[]})");
  dir_.write("chat_action_graph.json", R"({"actions": [
      "not an action",
      {"ts": )" + std::to_string(kNow) + R"(, "kind": "read", "payload": ["src/a.py", "login"]},
      {"ts": )" + std::to_string(kNow) + R"(, "payload": {"file": "src/login.py"}}
    ], "files": {"src/a.py": "not a record", "src/b.py": {"query_terms": "login"}}})");
  EXPECT_EQ(search_action_history(load_action_graph(file_), "login").dump(),
            R"({"action_hits":[{"kind":null,"file":"src/login.py","overlap":1}],"file_hits":[]})");
  EXPECT_EQ(search_action_history(load_action_graph(file_), "").dump(),
            R"({"action_hits":[{"kind":null,"file":"src/login.py","overlap":0},{"kind":"read","file":"","overlap":0}],)"
            R"("file_hits":[{"file":"src/a.py","overlap":0,"edited_count":0},)"
            R"({"file":"src/b.py","overlap":0,"edited_count":0}]})");
  EXPECT_EQ(recent_read_context(logged_actions(load_action_graph(file_)), "src/a.py", kNow).dump(),
            R"({"read_count":0,"co_visited":[],"queries":[]})");
  EXPECT_EQ(recent_action_evidence(load_action_graph(file_), {"src/a.py"}, kNow).dump(),
            R"({"window_sec":120,"recent_action_kinds":["read"],"recent_queries":[]})");
}

}  // namespace
}  // namespace lumenfold::lodestar
