#include "lumenfold/lodestar/tools/graph_action_summary.h"

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/json.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;
using lumenfold::testing::TempDir;
using testing::kTestNow;
using testing::make_test_state;

constexpr int64_t kNow = static_cast<int64_t>(kTestNow);

Json numbered_actions(int count) {
  Json actions = Json::array();
  for (int i = 0; i < count; ++i) {
    actions.push_back(Json{{"ts", kNow - 100 + i}, {"kind", "read"}, {"payload", {{"kind", "read"}, {"n", i}}}});
  }
  return actions;
}

Json numbered_decisions(int count) {
  Json decisions = Json::array();
  for (int i = 0; i < count; ++i) {
    decisions.push_back(Json{
        {"ts", kNow - 100 + i}, {"summary", "step " + std::to_string(i)}, {"files", Json::array()}, {"scope", "file"}});
  }
  return decisions;
}

// Three touched files: two read for login work, one only edited.
Json touched_files() {
  return Json::parse(R"({
    "src/session.py": {"query_terms": ["session", "token"], "cached_tokens_est": 40, "last_action": "read",
                       "last_ts": 1769850800},
    "src/login.py": {"query_terms": ["login", "token"], "cached_tokens_est": 10, "last_action": "edited",
                     "last_ts": "2026-01-31T09:00:00+00:00", "edited_count": 2},
    "src/auth.py": {"query_terms": ["login", "token"], "cached_tokens_est": 10, "last_action": "read",
                    "last_ts": 1769850700},
    "src/util.py": {"last_action": "edited", "edited_count": 1}})");
}

std::vector<std::string> listed_files(const Json& out) {
  std::vector<std::string> files;
  for (const Json& f : out["relevant_files"]) files.push_back(f["file"]);
  return files;
}

class GraphActionSummaryTest : public ::testing::Test {
 protected:
  GraphActionSummaryTest() : state_(make_test_state(dir_)) {}
  void write_graph(const Json& graph) { dir_.write("data/chat_action_graph.json", graph.dump()); }
  Json run(const std::string& query, int64_t limit = 12) { return graph_action_summary({query, limit}, *state_); }

  TempDir dir_;
  std::unique_ptr<ServerState> state_;
};

TEST_F(GraphActionSummaryTest, DefaultsShowTheLatestOfEverything) {
  write_graph(
      Json{{"files", touched_files()}, {"actions", numbered_actions(14)}, {"decisions", numbered_decisions(7)}});
  Json out = run("");
  ASSERT_EQ(out["recent_actions"].size(), 12u);
  EXPECT_EQ(out["recent_actions"][0]["payload"]["n"], 2);
  EXPECT_EQ(out["recent_actions"][11]["payload"]["n"], 13);
  // Every touched file with overlap 0: by edit count, token estimate, name.
  EXPECT_EQ(listed_files(out),
            (std::vector<std::string>{"src/login.py", "src/util.py", "src/session.py", "src/auth.py"}));
  EXPECT_EQ(out["relevant_files"][0], Json::parse(R"({"file": "src/login.py", "overlap": 0, "last_action": "edited",
      "edited_count": 2, "cached_tokens_est": 10, "last_ts": "2026-01-31T09:00:00+00:00"})"));
  EXPECT_EQ(out["relevant_files"][1], Json::parse(R"({"file": "src/util.py", "overlap": 0, "last_action": "edited",
      "edited_count": 1, "cached_tokens_est": 0, "last_ts": ""})"));
  ASSERT_EQ(out["decisions"].size(), 5u);
  EXPECT_EQ(out["decisions"][0]["summary"], "step 2");
  EXPECT_EQ(out["memories"], Json::array());
  EXPECT_FALSE(out.contains("decisions_archive"));
  std::vector<std::string> keys;
  for (const auto& [key, value] : out.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"ok", "recent_actions", "relevant_files", "decisions", "memories"}));
}

TEST_F(GraphActionSummaryTest, LimitZeroGivesAllActionsAndNoFiles) {
  write_graph(Json{{"files", touched_files()}, {"actions", numbered_actions(14)}});
  Json out = run("", 0);
  EXPECT_EQ(out["recent_actions"].size(), 14u);
  EXPECT_EQ(out["relevant_files"], Json::array());
}

TEST_F(GraphActionSummaryTest, NegativeLimitsCountFromTheOtherEnd) {
  write_graph(Json{{"files", touched_files()}, {"actions", numbered_actions(5)}});
  Json out = run("", -2);
  ASSERT_EQ(out["recent_actions"].size(), 3u);
  EXPECT_EQ(out["recent_actions"][0]["payload"]["n"], 2);
  EXPECT_EQ(listed_files(out), (std::vector<std::string>{"src/login.py", "src/util.py"}));
}

TEST_F(GraphActionSummaryTest, QueryRanksFilesByOverlapThenEditsThenName) {
  write_graph(Json{{"files", touched_files()}});
  Json out = run("login token expiry");
  EXPECT_EQ(listed_files(out), (std::vector<std::string>{"src/login.py", "src/auth.py", "src/session.py"}));
  EXPECT_EQ(out["relevant_files"][0]["overlap"], 2);
  EXPECT_EQ(out["relevant_files"][2]["overlap"], 1);
  // A query without terms lists no file at all.
  EXPECT_EQ(run("fix the")["relevant_files"], Json::array());
}

TEST_F(GraphActionSummaryTest, DecisionsMatchingTheQueryComeBestFirst) {
  Json decisions = Json::parse(R"([
    {"ts": 1, "summary": "Token refresh in Session layer after LOGIN", "files": ["src/session.py"]},
    {"ts": 2, "summary": "Unrelated cleanup", "files": ["src/util.py"]},
    {"ts": 3, "summary": "Login throttling", "files": ["src/login.py", "src/login.py"]},
    {"ts": 4, "summary": "Login copy", "files": []},
    {"ts": 5, "summary": 12, "files": "src/login.py"},
    7])");
  write_graph(Json{{"files", touched_files()}, {"decisions", decisions}});
  Json out = run("session login");
  // 2 x 2 + 1 = 5 (both terms, case-insensitive; session.py relevant), then
  // login throttling 2 + 1 (its file counted once) = 3, then login copy 2;
  // a non-text summary and a non-list "files" count for nothing.
  std::vector<int64_t> order;
  for (const Json& d : out["decisions"]) order.push_back(d["ts"]);
  EXPECT_EQ(order, (std::vector<int64_t>{1, 3, 4}));
  EXPECT_EQ(run("database migration")["decisions"], Json::array());
  // Without terms the newest decisions are shown as stored.
  EXPECT_EQ(run("the")["decisions"].size(), 5u);
}

TEST_F(GraphActionSummaryTest, EqualScoresShowTheNewestDecisionFirst) {
  write_graph(Json{{"decisions", Json::parse(R"([{"ts": 10, "summary": "cache a"}, {"ts": 30, "summary": "cache b"},
                                                   {"ts": 20, "summary": "cache c"}])")}});
  Json out = run("cache");
  std::vector<std::string> order;
  for (const Json& d : out["decisions"]) order.push_back(d["summary"]);
  EXPECT_EQ(order, (std::vector<std::string>{"cache b", "cache c", "cache a"}));
}

TEST_F(GraphActionSummaryTest, ShowsTheArchiveAndMemoriesOfTheListedFiles) {
  write_graph(Json{{"files", touched_files()}, {"decisions_archive", "older work"}});
  dir_.write("data/context-store.json", Json::array({
                                                        Json{{"kind", "fact"},
                                                             {"content", "Sessions expire hourly"},
                                                             {"file_path", "src/session.py"},
                                                             {"created_epoch", kNow}},
                                                        Json{{"kind", "fact"},
                                                             {"content", "Unrelated note"},
                                                             {"file_path", "docs/x.md"},
                                                             {"created_epoch", kNow}},
                                                    })
                                            .dump());
  Json out = run("token");
  EXPECT_EQ(out["decisions_archive"], "older work");
  // (4 same file + 4 recency + 1 fresh) x 1.3 = 11.7 -> 12 beats (4 + 1) x 1.3.
  ASSERT_EQ(out["memories"].size(), 2u);
  EXPECT_EQ(out["memories"][0]["content"], "Sessions expire hourly");
  EXPECT_EQ(out["memories"][0]["why"], "same file as retrieved context, recency 4.0, fresh memory");
}

TEST_F(GraphActionSummaryTest, LogsAndRecordsTheCall) {
  run("login", 3);
  Json log_line = *common::parse_json(dir_.read("data/mcp_tool_calls.jsonl"));
  EXPECT_EQ(log_line["tool"], "graph_action_summary");
  EXPECT_EQ(log_line["payload"], Json::parse(R"({"query": "login", "limit": 3})"));
  Json g = *common::parse_json(dir_.read("data/chat_action_graph.json"));
  EXPECT_EQ(g["actions"], Json::parse(R"([{"ts": 1769850902, "kind": "action_summary",
                                           "payload": {"kind": "action_summary", "query": "login"}}])"));
  // The recorded call is not among the actions it reports.
  write_graph(Json::object());
  EXPECT_EQ(run("")["recent_actions"], Json::array());
}

TEST_F(GraphActionSummaryTest, HostileDocumentsReadAsEmpty) {
  dir_.write("data/chat_action_graph.json",
             R"({"files": {"src/a.py": "read", "src/b.py": {"query_terms": "login", "edited_count": "x"}},
                 "actions": {"a": 1}, "decisions": [null]})");
  Json out = run("");
  EXPECT_EQ(out["recent_actions"], Json::array());
  EXPECT_EQ(listed_files(out), (std::vector<std::string>{"src/a.py", "src/b.py"}));
  EXPECT_EQ(out["decisions"], Json::parse("[null]"));
  EXPECT_EQ(run("login")["relevant_files"], Json::array());
}

}  // namespace
}  // namespace lumenfold::lodestar
