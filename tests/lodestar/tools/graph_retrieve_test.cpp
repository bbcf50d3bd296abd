#include "lumenfold/lodestar/tools/graph_retrieve.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/graph/retrieval_module.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using lumenfold::testing::TempDir;
using testing::kTestNow;

constexpr char kChatFixUrl[] = "http://127.0.0.1:8787/api/chat-fix";

// Ranks with a fixed answer and counts its calls.
class FixedRanking : public RetrievalModule {
 public:
  std::optional<Json> retrieve(const Json&, std::string_view query, int64_t, int64_t) override {
    ++calls;
    last_query = query;
    return answer;
  }
  std::string classify_intent(std::string_view) override { return "general"; }

  std::optional<Json> answer;
  int calls = 0;
  std::string last_query;
};

// Answers every request with `body` and keeps the requests it saw.
class RecordingTransport : public HttpTransport {
 public:
  common::Result<HttpResponse> send(const HttpRequest& request) override {
    requests.push_back(request);
    if (!reachable) return common::Error{"connection refused"};
    return HttpResponse{200, body};
  }
  bool reachable = true;
  std::string body = "null";
  std::vector<HttpRequest> requests;
};

Json ranked(std::initializer_list<const char*> ids) {
  Json files = Json::array();
  for (const char* id : ids) files.push_back(Json{{"id", id}, {"score", 1}});
  return Json{{"files", files}, {"edges", Json::array({Json{{"from", "a.py"}, {"to", "b.py"}}})}};
}

class GraphRetrieveTest : public ::testing::Test {
 protected:
  GraphRetrieveTest() {
    auto module = std::make_unique<FixedRanking>();
    module_ = module.get();
    module_->answer = ranked({"src/a.py", "src/b.py::run", "src/c.py"});
    auto transport = std::make_unique<RecordingTransport>();
    transport_ = transport.get();
    state_ = std::make_unique<ServerState>(testing::test_settings(dir_), std::move(module), std::move(transport),
                                           [this] { return now_; });
    dir_.write("data/info_graph.json", R"({"root": "", "nodes": [{"id": "src/a.py", "content": "x"}]})");
    for (const char* f : {"proj/src/a.py", "proj/src/b.py", "proj/src/c.py"}) dir_.write(f, "text\n");
  }

  Json retrieve(const std::string& query, int64_t top_files = 5) {
    return graph_retrieve({query, top_files, 12}, *state_);
  }
  Json action_graph() const { return load_action_graph(state_->settings.action_graph_file()); }
  Json cache_entries() const { return Json::parse(dir_.read("data/retrieval_cache.json"))["entries"]; }

  TempDir dir_;
  double now_ = kTestNow;
  FixedRanking* module_ = nullptr;
  RecordingTransport* transport_ = nullptr;
  std::unique_ptr<ServerState> state_;
};

TEST_F(GraphRetrieveTest, FreshRetrievalOpensTheTurnAndRecordsIt) {
  Json out = retrieve("Fix the login handler", 2);
  EXPECT_EQ(out, Json::parse(R"({"ok": true, "query": "Fix the login handler",
    "graph_files": [{"id": "src/a.py", "score": 1}, {"id": "src/b.py::run", "score": 1}, {"id": "src/c.py", "score": 1}],
    "graph_edges": [{"from": "a.py", "to": "b.py"}], "grep_hits": [], "reuse_candidates": [],
    "read_budget": {"remaining_chars": 60000, "reuse_gate_candidates": []}})"));

  const TurnState& turn = state_->turn;
  EXPECT_EQ(turn.query_key, "login handler");
  EXPECT_EQ(turn.retrieved_files, (std::vector<std::string>{"src/a.py", "src/b.py::run"}));
  EXPECT_EQ(turn.retrieve_count, 1);
  ASSERT_TRUE(turn.last_retrieve_out);
  EXPECT_EQ(*turn.last_retrieve_out, out);

  Json graph = action_graph();
  EXPECT_EQ(graph["nodes"], Json::parse(R"([{"id": "query:login handler", "type": "query",
    "meta": {"text": "Fix the login handler"}}, {"id": "src/a.py", "type": "file"}, {"id": "src/b.py::run", "type": "file"}])"));
  EXPECT_EQ(graph["edges"].size(), 2u);
  EXPECT_EQ(graph["edges"][1], Json::parse(R"({"from": "query:login handler", "to": "src/b.py::run", "rel": "retrieved",
    "ts": 1769850902})"));
  // The action recorded before the graph was loaded and saved survives.
  EXPECT_EQ(graph["actions"], Json::parse(R"([{"ts": 1769850902, "kind": "retrieve",
    "payload": {"kind": "retrieve", "query": "Fix the login handler"}}])"));
  EXPECT_EQ(testing::logged_payloads(dir_),
            std::vector<Json>{Json::parse(R"({"query": "Fix the login handler", "top_files": 2, "top_edges": 12})")});

  // Every ranked file is cached, each with its file's time.
  Json entry = cache_entries()["login handler|tf=2|te=12"];
  EXPECT_EQ(entry["created_epoch"], 1769850902);
  EXPECT_EQ(entry["files"], Json::parse(R"(["src/a.py", "src/b.py::run", "src/c.py"])"));
  EXPECT_EQ(entry["mtimes_ns"]["src/b.py::run"], *common::mtime_ns(dir_.path() / "proj/src/b.py"));
  EXPECT_EQ(entry["result"], out);
}

TEST_F(GraphRetrieveTest, QueryPastTheLimitIsCutAndTheAnswerSaysSo) {
  // About 4 MB, as much as an MCP body carries, of two-byte characters.
  std::string tail;
  for (int i = 0; i < 2'000'000; ++i) tail += "\u00e9";
  const std::string cut = "login handler " + tail.substr(0, 2 * 7986);  // 8000 characters
  Json out = retrieve("login handler " + tail);
  EXPECT_EQ(module_->last_query, cut);
  EXPECT_EQ(out["query"], cut);
  EXPECT_EQ(out.back(), 8000);
  EXPECT_EQ((--out.end()).key(), "query_truncated_to");
  EXPECT_EQ(testing::logged_payloads(dir_).at(0)["query"], cut);
}

TEST_F(GraphRetrieveTest, SecondCallOfTheTurnReturnsTheFirstResult) {
  Json first = retrieve("login handler");
  Json second = retrieve("the LOGIN handler!");
  Json expected = first;
  expected["single_retrieve_reused"] = true;
  EXPECT_EQ(second, expected);
  EXPECT_EQ(module_->calls, 1);
  EXPECT_EQ(state_->turn.retrieve_count, 1);
  EXPECT_EQ(testing::logged_payloads(dir_).size(), 1u);
  EXPECT_EQ(action_graph()["actions"].size(), 1u);
}

TEST_F(GraphRetrieveTest, WithoutSingleRetrievalTheCacheAnswers) {
  state_->settings.enforce_single_retrieve = false;
  Json first = retrieve("login handler", 1);
  Json second = retrieve("login handler", 1);
  Json expected = first;
  expected["retrieval_cache_hit"] = true;
  expected["retrieval_cache_key"] = "login handler|tf=1|te=12";
  EXPECT_EQ(second, expected);
  EXPECT_EQ(module_->calls, 1);
  EXPECT_EQ(state_->turn.retrieve_count, 2);
  // A cache hit allows every file of the result, not only the first.
  EXPECT_EQ(state_->turn.retrieved_files, (std::vector<std::string>{"src/a.py", "src/b.py::run", "src/c.py"}));
  EXPECT_EQ(testing::logged_payloads(dir_).back(),
            Json::parse(R"({"query": "login handler", "top_files": 1, "top_edges": 12,
    "mode": "retrieval_cache_hit"})"));
  EXPECT_EQ(action_graph()["actions"].back()["payload"],
            Json::parse(R"({"kind": "retrieve_cache_hit", "query": "login handler"})"));
}

TEST_F(GraphRetrieveTest, ChangedFileOrExpiryMakesTheCacheMiss) {
  state_->settings.enforce_single_retrieve = false;
  retrieve("login handler");
  fs::last_write_time(dir_.path() / "proj/src/c.py",
                      fs::last_write_time(dir_.path() / "proj/src/c.py") + std::chrono::seconds(1));
  EXPECT_FALSE(retrieve("login handler").contains("retrieval_cache_hit"));
  EXPECT_EQ(module_->calls, 2);
  EXPECT_TRUE(retrieve("login handler")["retrieval_cache_hit"]);
  now_ += 901;
  EXPECT_FALSE(retrieve("login handler").contains("retrieval_cache_hit"));
  EXPECT_EQ(module_->calls, 3);
}

TEST_F(GraphRetrieveTest, NewQueryResetsTheTurnButKeepsExploration) {
  TurnState& turn = state_->turn;
  retrieve("login handler");
  turn.used_chars = 900;
  turn.seen_reads.emplace_back("k", "v");
  turn.fallback_calls = 1;
  turn.reuse_gate_satisfied = true;
  turn.explore_budget_chars = 36000;
  retrieve("payment gateway");
  EXPECT_EQ(turn.query_key, "payment gateway");
  EXPECT_EQ(turn.used_chars, 0);
  EXPECT_TRUE(turn.seen_reads.empty());
  EXPECT_EQ(turn.fallback_calls, 0);
  EXPECT_FALSE(turn.reuse_gate_satisfied);
  EXPECT_EQ(turn.retrieve_count, 1);
  EXPECT_EQ(turn.explore_budget_chars, 36000);
  EXPECT_EQ(module_->calls, 2);
}

TEST_F(GraphRetrieveTest, QueryWithoutTermsNeitherStartsATurnNorIsShortCircuited) {
  retrieve("login handler");
  state_->turn.used_chars = 500;
  Json out = retrieve("fix it, please");
  EXPECT_EQ(state_->turn.query_key, "login handler");
  EXPECT_EQ(state_->turn.used_chars, 500);
  EXPECT_FALSE(out.contains("single_retrieve_reused"));
  EXPECT_EQ(out["read_budget"]["remaining_chars"], 59500);
  EXPECT_EQ(action_graph()["nodes"][0]["id"], "query:login handler");
  EXPECT_EQ(action_graph()["nodes"][4],
            Json::parse(R"({"id": "query:", "type": "query", "meta": {"text": "fix it, please"}})"));
}

TEST_F(GraphRetrieveTest, TopFilesBelowOneStillKeepsTheBestFile) {
  for (int64_t top : {0, -3, 1}) {
    state_->turn.reset();
    retrieve("login handler", top);
    EXPECT_EQ(state_->turn.retrieved_files, std::vector<std::string>{"src/a.py"}) << top;
  }
}

TEST_F(GraphRetrieveTest, ReuseCandidatesComeFromEarlierReadsBestFirst) {
  Json graph = empty_action_graph();
  auto record = [](Json terms, Json tokens) {
    return Json{{"query_terms", terms}, {"cached_chars", 40}, {"cached_tokens_est", tokens}, {"last_action", "read"}};
  };
  graph["files"]["src/z.py"] = record(Json::parse(R"(["login"])"), 50);
  graph["files"]["src/y.py"] = record(Json::parse(R"(["login", "handler"])"), 2);
  graph["files"]["src/x.py"] = record(Json::parse(R"(["handler"])"), 50);
  graph["files"]["src/w.py"] = record(Json::parse(R"(["payment"])"), 99);
  graph["files"]["src/v.py"] = Json{{"query_terms", Json::parse(R"(["login"])")}, {"cached_tokens_est", "7"}};
  save_action_graph(state_->settings.action_graph_file(), graph);

  Json out = retrieve("login handler");
  EXPECT_EQ(out["reuse_candidates"], Json::parse(R"([
    {"file": "src/y.py", "overlap": 2, "cached_chars": 40, "cached_tokens_est": 2, "last_action": "read"},
    {"file": "src/x.py", "overlap": 1, "cached_chars": 40, "cached_tokens_est": 50, "last_action": "read"},
    {"file": "src/z.py", "overlap": 1, "cached_chars": 40, "cached_tokens_est": 50, "last_action": "read"}])"));
  EXPECT_EQ(state_->turn.reuse_gate_candidates, (std::vector<std::string>{"src/y.py", "src/x.py", "src/z.py"}));
  EXPECT_EQ(out["read_budget"]["reuse_gate_candidates"], Json::parse(R"(["src/y.py", "src/x.py", "src/z.py"])"));
}

TEST_F(GraphRetrieveTest, CacheHitInANewTurnLeavesTheReuseGateEmpty) {
  state_->settings.enforce_single_retrieve = false;
  Json graph = empty_action_graph();
  graph["files"]["src/z.py"] = Json{{"query_terms", Json::array({"login"})}};
  save_action_graph(state_->settings.action_graph_file(), graph);
  retrieve("login handler");
  ASSERT_EQ(state_->turn.reuse_gate_candidates.size(), 1u);
  retrieve("payment");
  Json hit = retrieve("login handler");
  EXPECT_TRUE(hit["retrieval_cache_hit"]);
  EXPECT_EQ(hit["reuse_candidates"].size(), 1u);
  EXPECT_TRUE(state_->turn.reuse_gate_candidates.empty());
}

// 50 entries stored with times out of order; "k07" and "k08" share the
// oldest time.
Json full_cache(int64_t now) {
  Json entries = Json::object();
  for (int i = 0; i < 50; ++i) {
    char key[8];
    std::snprintf(key, sizeof key, "k%02d", i);
    int64_t age = (i == 7 || i == 8) ? 800 : (i * 37) % 700;
    entries[key] = Json{{"created_epoch", now - age},
                        {"files", Json::array()},
                        {"mtimes_ns", Json::object()},
                        {"result", Json::object()}};
  }
  return Json{{"entries", entries}, {"version", 1}};
}

TEST_F(GraphRetrieveTest, CacheKeepsTheFiftyNewestOrderedByTime) {
  common::write_file_atomically(state_->settings.retrieval_cache_file(), full_cache(static_cast<int64_t>(now_)).dump());
  retrieve("login handler");
  Json doc = Json::parse(dir_.read("data/retrieval_cache.json"));
  EXPECT_EQ(doc["version"], 1);
  const Json& entries = doc["entries"];
  ASSERT_EQ(entries.size(), 50u);
  EXPECT_FALSE(entries.contains("k07"));
  EXPECT_TRUE(entries.contains("k08"));
  EXPECT_EQ(entries.begin().key(), "k08");
  int64_t previous = 0;
  for (const Json& e : entries) {
    EXPECT_LE(previous, e["created_epoch"].get<int64_t>());
    previous = e["created_epoch"].get<int64_t>();
  }
  EXPECT_EQ((--entries.end()).key(), "login handler|tf=5|te=12");
}

TEST_F(GraphRetrieveTest, ReplacedEntryKeepsItsPlace) {
  Json cache = Json::parse(R"({"entries": {
    "first": {"created_epoch": 1769850500, "files": [], "mtimes_ns": {}, "result": {}},
    "login handler|tf=5|te=12": {"created_epoch": 1769850500, "files": ["gone.py"], "mtimes_ns": {}, "result": {}},
    "last": {"created_epoch": 1769850500, "files": [], "mtimes_ns": {}, "result": {}}}})");
  common::write_file_atomically(state_->settings.retrieval_cache_file(), cache.dump());
  retrieve("login handler");
  Json entries = cache_entries();
  std::vector<std::string> keys;
  for (auto it = entries.begin(); it != entries.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"first", "login handler|tf=5|te=12", "last"}));
  EXPECT_EQ(entries["login handler|tf=5|te=12"]["created_epoch"], 1769850902);
}

TEST_F(GraphRetrieveTest, RemoteApiRanksWhenTheModuleCannot) {
  module_->answer = std::nullopt;
  transport_->body =
      R"({"ok": true, "query": "q", "graph_files": [{"id": "lib/r.py"}, {"id": ""}, {"x": 1}], "extra": 5})";
  Json out = retrieve("login handler", 3);
  ASSERT_EQ(transport_->requests.size(), 1u);
  EXPECT_EQ(transport_->requests[0].url, kChatFixUrl);
  EXPECT_EQ(transport_->requests[0].body,
            R"({"query": "login handler", "top_files": 3, "top_edges": 12, "max_grep_hits": 0})");
  EXPECT_EQ(out["extra"], 5);
  EXPECT_EQ(state_->turn.retrieved_files, std::vector<std::string>{"lib/r.py"});
  EXPECT_EQ(cache_entries()["login handler|tf=3|te=12"]["mtimes_ns"], Json::parse(R"({"lib/r.py": -1})"));
}

TEST_F(GraphRetrieveTest, NoModuleMeansTheRemoteApi) {
  auto transport = std::make_unique<RecordingTransport>();
  RecordingTransport* seen = transport.get();
  transport->body = R"({"ok": true, "graph_files": [{"id": "lib/r.py"}]})";
  ServerState state(testing::test_settings(dir_), nullptr, std::move(transport), [] { return kTestNow; });
  Json out = graph_retrieve({"login handler", 5, 12}, state);
  EXPECT_EQ(seen->requests.size(), 1u);
  EXPECT_EQ(out["graph_files"], Json::parse(R"([{"id": "lib/r.py"}])"));
}

TEST_F(GraphRetrieveTest, UnreachableRemoteApiFailsTheCallAfterTheTurnStarted) {
  module_->answer = std::nullopt;
  transport_->reachable = false;
  EXPECT_THROW(retrieve("login handler"), std::runtime_error);
  EXPECT_EQ(state_->turn.query_key, "login handler");
  EXPECT_EQ(state_->turn.retrieve_count, 0);
}

TEST_F(GraphRetrieveTest, NullRemoteAnswerRanksNothing) {
  module_->answer = std::nullopt;
  Json out = retrieve("login handler");
  EXPECT_EQ(out, Json::parse(R"({"reuse_candidates": [], "read_budget": {"remaining_chars": 60000,
    "reuse_gate_candidates": []}})"));
  EXPECT_TRUE(state_->turn.retrieved_files.empty());
  EXPECT_EQ(cache_entries()["login handler|tf=5|te=12"]["files"], Json::array());
}

}  // namespace
}  // namespace lumenfold::lodestar
