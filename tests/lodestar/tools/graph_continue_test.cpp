#include "lumenfold/lodestar/tools/graph_continue.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/graph/retrieval_module.h"
#include "lumenfold/lodestar/mcp/tool_arguments.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using lumenfold::testing::TempDir;
using testing::kTestNow;
using testing::TableTransport;
using testing::test_settings;

constexpr int64_t kNow = static_cast<int64_t>(kTestNow);

// Ranks with a fixed answer and labels every query with a fixed intent.
class FakeRetrieval : public RetrievalModule {
 public:
  std::optional<Json> retrieve(const Json&, std::string_view, int64_t, int64_t) override {
    ++calls;
    return Json{{"files", files}, {"edges", edges}};
  }
  std::string classify_intent(std::string_view) override { return intent; }

  Json files = Json::array();
  Json edges = Json::array();
  std::string intent = "general";
  int calls = 0;
};

class GraphContinueTest : public ::testing::Test {
 protected:
  explicit GraphContinueTest(bool with_module = true, bool locked = false) {
    Settings settings = test_settings(dir_);
    if (locked) settings.locked_project_root = settings.project_root;
    auto module = std::make_unique<FakeRetrieval>();
    retrieval_ = module.get();
    state_ = std::make_unique<ServerState>(std::move(settings), with_module ? std::move(module) : nullptr,
                                           std::make_unique<TableTransport>(std::map<std::string, std::string>{}),
                                           [] { return kTestNow; });
  }

  void write_graph(int64_t files, const std::string& root) {
    Json nodes = Json::array();
    for (int64_t i = 0; i < files; ++i) nodes.push_back(Json{{"id", "src/f" + std::to_string(i) + ".py"}});
    dir_.write("data/info_graph.json",
               Json{{"root", root}, {"node_count", files}, {"file_count", files}, {"nodes", nodes}}.dump());
  }
  void write_project_graph(int64_t files = 12) { write_graph(files, state_->settings.project_root.string()); }
  void write_action_graph(const Json& graph) { dir_.write("data/chat_action_graph.json", graph.dump()); }

  Json run(const std::string& query) { return graph_continue({query, 5, 12, 8}, *state_); }
  Json last_action() { return common::parse_json(dir_.read("data/chat_action_graph.json"))->at("actions").back(); }

  TempDir dir_;
  FakeRetrieval* retrieval_ = nullptr;
  std::unique_ptr<ServerState> state_;
};

std::string surveyor_beside_this_program() {
  return (fs::read_symlink("/proc/self/exe").parent_path() / "surveyor").string();
}

TEST_F(GraphContinueTest, WithoutAGraphAsksForAProject) {
  Json expected{{"ok", false},
                {"needs_project", true},
                {"query", "add login"},
                {"project_root", state_->settings.project_root.string()},
                {"surveyor", surveyor_beside_this_program()},
                {"ingest_url", "http://127.0.0.1:8787/ingest-graph"}};
  EXPECT_EQ(run("add login"), expected);
  // An empty graph, text that is not JSON and a document that is not an
  // object all count as no graph.
  for (const char* text :
       {R"({"root": "", "node_count": 0, "nodes": []})", "{not json", "[1, 2]", R"({"nodes": []})"}) {
    dir_.write("data/info_graph.json", text);
    EXPECT_EQ(run("add login"), expected) << text;
  }
  EXPECT_FALSE(fs::exists(state_->settings.log_file()));
  EXPECT_EQ(retrieval_->calls, 0);
}

TEST_F(GraphContinueTest, IngestUrlNamesThisServerWhenItRanksLocally) {
  struct Case {
    bool local;
    std::optional<int> port;
    std::string listen_host;
    std::string url;
  };
  const Case cases[] = {
      {true, 9123, "", "http://127.0.0.1:9123/ingest-graph"},
      {true, 9123, "0.0.0.0", "http://127.0.0.1:9123/ingest-graph"},
      {true, 9123, "10.1.2.3", "http://10.1.2.3:9123/ingest-graph"},
      {true, 9123, "fd00::7", "http://[fd00::7]:9123/ingest-graph"},
      {true, std::nullopt, "", "http://api.example:8787/ingest-graph"},
      {false, 9123, "", "http://api.example:8787/ingest-graph"},
  };
  state_->settings.tsl_base = "http://api.example:8787";
  for (const Case& c : cases) {
    state_->settings.tsl_local_retrieval = c.local;
    state_->settings.listening_port = c.port;
    state_->settings.listen_host = c.listen_host;
    EXPECT_EQ(run("add login")["ingest_url"], c.url) << c.listen_host;
  }
}

class LockedGraphContinueTest : public GraphContinueTest {
 protected:
  LockedGraphContinueTest() : GraphContinueTest(/*with_module=*/true, /*locked=*/true) {}
};

TEST_F(LockedGraphContinueTest, GraphOfAnotherProjectAsksForARescan) {
  fs::create_directories(dir_.path() / "other" / "sub");
  fs::create_symlink(dir_.path() / "other", dir_.path() / "link");
  write_graph(12, (dir_.path() / "link" / "sub" / "..").string());
  const std::string root = state_->settings.project_root.string();
  const std::string other = (dir_.path() / "other").string();
  Json out = run("add login");
  EXPECT_EQ(out, (Json{{"ok", false},
                       {"needs_project", true},
                       {"query", "add login"},
                       {"project_root", root},
                       {"stale_graph_for", other},
                       {"hint", "info_graph.json under .tessel/ was built for " + other + ", not " + root +
                                    ". Call graph_scan(project_root='" + root + "') to rebuild."}}));
  EXPECT_EQ(retrieval_->calls, 0);
}

TEST_F(LockedGraphContinueTest, GraphWithoutATextRootIsTheProjects) {
  for (const char* root : {R"("")", "5", "null"}) {
    dir_.write("data/info_graph.json", std::string(R"({"node_count": 3, "nodes": [], "root": )") + root + "}");
    EXPECT_EQ(run("fix typo in readme")["mode"], "skip") << root;
  }
}

TEST_F(GraphContinueTest, UnlockedServerServesAGraphOfAnyRoot) {
  write_graph(12, "/somewhere/else");
  EXPECT_EQ(run("login handler")["mode"], "retrieve_then_read");
}

TEST_F(GraphContinueTest, SmallProjectSkipsUnlessTheRequestIsGreenfield) {
  write_project_graph(3);
  EXPECT_EQ(
      run("fix typo in readme"),
      (Json{{"ok", true},
            {"mode", "skip"},
            {"project_root", state_->settings.project_root.string()},
            {"cold_start_reason", "empty_project"},
            {"file_count", 3},
            {"hint", "Project has fewer than 5 files. Use targeted reads only \xE2\x80\x94 do NOT explore broadly."},
            {"next_best_action", "Ask the user what they want to work on, or read a specific file if named."}}));
  EXPECT_EQ(retrieval_->calls, 0);

  retrieval_->files = Json::parse(R"([{"id": "src/f0.py", "_score": 2}, {"id": ""}, {"id": "src/f1.py::main"}])");
  retrieval_->edges = Json::parse(R"([{"from": "src/f1.py", "to": "src/f0.py", "rel": "imports"}])");
  EXPECT_EQ(run("Create a new service"),
            (Json{{"ok", true},
                  {"mode", "bootstrap_explore"},
                  {"project_root", state_->settings.project_root.string()},
                  {"note", "Greenfield project \xE2\x80\x94 allowing exploratory read to seed graph."},
                  {"recommended_files", {"src/f0.py", "src/f1.py::main"}},
                  {"graph_edges", retrieval_->edges}}));
  EXPECT_EQ(retrieval_->calls, 1);
  // Greenfield words match inside other words.
  EXPECT_EQ(run("renew the token")["mode"], "bootstrap_explore");
  EXPECT_EQ(run("HOW SHOULD errors look")["mode"], "bootstrap_explore");
}

TEST_F(GraphContinueTest, FileCountFallsBackToTheNodeCount) {
  dir_.write("data/info_graph.json", R"({"node_count": 4, "nodes": []})");
  EXPECT_EQ(run("fix typo")["file_count"], 4);
  dir_.write("data/info_graph.json", R"({"node_count": 40, "file_count": 2, "nodes": []})");
  EXPECT_EQ(run("fix typo")["file_count"], 2);
}

// Files touched earlier for 5, 4, 3 and 2 of the query's terms.
Json touched_for_terms() {
  return Json{
      {"files",
       {{"src/two.py", {{"query_terms", {"alpha", "beta"}}, {"last_action", "read"}}},
        {"src/five.py", {{"query_terms", {"alpha", "beta", "gamma", "delta", "epsilon"}}, {"last_action", "read"}}},
        {"src/three.py", {{"query_terms", {"alpha", "beta", "gamma"}}, {"last_action", "read"}}},
        {"src/four.py",
         {{"query_terms", {"alpha", "beta", "gamma", "delta"}}, {"last_action", "edited"}, {"edited_count", 2}}}}}};
}

TEST_F(GraphContinueTest, MemoryFirstPrefersFilesAnEarlierActionNamed) {
  write_project_graph();
  Json graph = touched_for_terms();
  graph["actions"] = Json::array({Json{{"ts", kNow - 5},
                                       {"kind", "read"},
                                       {"payload", {{"kind", "read"}, {"file", "src/four.py"}, {"query", "alpha"}}}}});
  write_action_graph(graph);
  Json out = run("alpha beta gamma delta epsilon");
  EXPECT_EQ(out, Json::parse(R"({"ok": true, "mode": "memory_first", "project_root": ")" +
                             state_->settings.project_root.string() + R"(", "confidence": "high",
      "max_supplementary_greps": 0, "max_supplementary_files": 0, "query": "alpha beta gamma delta epsilon",
      "intent": "general", "recommended_files": [{"file": "src/four.py", "access_type": "write"}],
      "memories": []})"));
  EXPECT_EQ(retrieval_->calls, 0);
  EXPECT_EQ(testing::logged_lines(dir_).back()["payload"], Json::parse(R"({"query": "alpha beta gamma delta epsilon",
      "mode": "memory_first", "recommended_files": ["src/four.py"]})"));
  EXPECT_EQ(last_action()["payload"], Json::parse(R"({"kind": "continue_memory_first",
      "query": "alpha beta gamma delta epsilon"})"));
}

TEST_F(GraphContinueTest, MemoryFirstTakesTheThreeStrongestWhenNoneWasNamed) {
  write_project_graph();
  write_action_graph(touched_for_terms());
  retrieval_->intent = "explore";
  state_->settings.memory_first_min_overlap = 3;
  dir_.write("data/context-store.json", Json::array({Json{{"kind", "decision"},
                                                          {"content", "Keep gamma pure"},
                                                          {"file_path", "src/three.py"},
                                                          {"created_epoch", kNow}}})
                                            .dump());
  Json out = run("alpha beta gamma delta epsilon");
  EXPECT_EQ(out["confidence"], "medium");
  EXPECT_EQ(out["max_supplementary_greps"], 1);
  EXPECT_EQ(out["max_supplementary_files"], 0);
  EXPECT_EQ(out["intent"], "explore");
  EXPECT_EQ(out["recommended_files"], Json::parse(R"([{"file": "src/five.py", "access_type": "read"},
      {"file": "src/four.py", "access_type": "write"}, {"file": "src/three.py", "access_type": "read"}])"));
  ASSERT_EQ(out["memories"].size(), 1u);
  EXPECT_EQ(out["memories"][0]["content"], "Keep gamma pure");
  // Exploration budgets belong to the retrieval route only.
  EXPECT_FALSE(state_->turn.explore_budget_chars.has_value());
}

TEST_F(GraphContinueTest, OverlapBelowTheMinimumRetrieves) {
  write_project_graph();
  write_action_graph(touched_for_terms());
  state_->settings.memory_first_min_overlap = 6;
  EXPECT_EQ(run("alpha beta gamma delta epsilon")["mode"], "retrieve_then_read");
  EXPECT_EQ(retrieval_->calls, 1);
}

TEST_F(GraphContinueTest, HostileActionGraphReadsAsUntouched) {
  write_project_graph();
  write_action_graph(Json::parse(R"({"files": ["src/a.py"], "actions": [3, {"ts": 1, "payload": "login handler"}]})"));
  retrieval_->files = Json::parse(R"([{"id": "src/a.py", "_score": 5}])");
  Json out = run("login handler");
  EXPECT_EQ(out["mode"], "retrieve_then_read");
  EXPECT_EQ(out["recommended_files"], Json::parse(R"([{"file": "src/a.py", "access_type": "new"}])"));
}

TEST_F(GraphContinueTest, RetrieveThenReadRecommendsTheFirstThreeFiles) {
  write_project_graph();
  write_action_graph(Json::parse(R"({"files": {"src/a.py": {"last_action": "edited", "edited_count": 1},
                                               "src/b.py::f": {"last_action": "read"},
                                               "src/c.py": {"last_action": ""}}})"));
  dir_.write("data/context-store.json", Json::array({Json{{"kind", "fact"},
                                                          {"content", "Tokens live an hour"},
                                                          {"file_path", "src/a.py"},
                                                          {"created_epoch", kNow}}})
                                            .dump());
  retrieval_->files = Json::parse(R"([{"id": "src/a.py", "_score": 12.9}, {"id": "src/b.py::f", "_score": 3},
      {"id": ""}, {"id": "src/c.py"}, {"id": "src/d.py"}])");
  Json out = run("login handler");
  Json memories = out["memories"];
  out.erase("memories");
  EXPECT_EQ(out, Json::parse(R"({"ok": true, "mode": "retrieve_then_read", "project_root": ")" +
                             state_->settings.project_root.string() + R"(", "confidence": "high",
      "max_supplementary_greps": 0, "max_supplementary_files": 0, "query": "login handler", "intent": "general",
      "recommended_files": [{"file": "src/a.py", "access_type": "write"},
                            {"file": "src/b.py::f", "access_type": "read"},
                            {"file": "src/c.py", "access_type": "new"}]})"));
  ASSERT_EQ(memories.size(), 1u);
  EXPECT_EQ(memories[0]["why"], "same file as retrieved context, recency 4.0, fresh memory");

  std::vector<Json> lines = testing::logged_lines(dir_);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["tool"], "graph_retrieve");
  EXPECT_EQ(lines[1]["tool"], "graph_continue");
  EXPECT_EQ(lines[1]["payload"], Json::parse(R"({"query": "login handler", "mode": "retrieve_then_read",
      "confidence": "high", "recommended_files": ["src/a.py", "src/b.py::f", "src/c.py"]})"));
  EXPECT_EQ(last_action()["payload"], Json::parse(R"({"kind": "continue_retrieve", "query": "login handler"})"));
  // The retrieval opened the query turn.
  EXPECT_EQ(state_->turn.query_key, "login handler");
  EXPECT_EQ(state_->turn.retrieve_count, 1);
}

struct BandCase {
  Json files;
  std::string intent;
  std::string confidence;
  int64_t limit;
};

// Readable test names in listings (the default prints the object's bytes).
void PrintTo(const BandCase& c, std::ostream* os) {
  *os << c.intent << " " << c.files.dump() << " -> " << c.confidence;
}

class GraphContinueBandTest : public GraphContinueTest, public ::testing::WithParamInterface<BandCase> {};

TEST_P(GraphContinueBandTest, ConfidenceAndLimitsFollowTheBestScore) {
  const BandCase& c = GetParam();
  write_project_graph();
  retrieval_->files = c.files;
  retrieval_->intent = c.intent;
  Json out = run("login handler");
  EXPECT_EQ(out["confidence"], c.confidence);
  EXPECT_EQ(out["max_supplementary_greps"], c.limit);
  EXPECT_EQ(out["max_supplementary_files"], c.limit);
  EXPECT_EQ(out["intent"], c.intent);
  bool explore = c.intent == "explore";
  EXPECT_EQ(state_->turn.explore_budget_chars, explore ? std::optional<int64_t>(36000) : std::nullopt);
  EXPECT_EQ(state_->turn.explore_hard_max_chars, explore ? std::optional<int64_t>(6000) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Bands, GraphContinueBandTest,
    ::testing::Values(BandCase{Json::parse(R"([{"id": "a.py", "_score": 12}])"), "general", "high", 0},
                      BandCase{Json::parse(R"([{"id": "a.py", "_score": 10}])"), "edit", "high", 0},
                      BandCase{Json::parse(R"([{"id": "a.py", "_score": 12}])"), "explore", "medium", 2},
                      BandCase{Json::parse(R"([{"id": "a.py", "_score": 9}])"), "general", "medium", 2},
                      BandCase{Json::parse(R"([{"id": "a.py", "_score": 4}])"), "explore", "medium", 2},
                      BandCase{Json::parse(R"([{"id": "a.py", "_score": 3.9}])"), "general", "low", 3},
                      BandCase{Json::parse(R"([{"id": "a.py"}, {"id": "b.py", "_score": 50}])"), "general", "low", 3},
                      BandCase{Json::parse(R"([{"id": "a.py", "_score": "high"}])"), "general", "low", 3},
                      BandCase{Json::parse("[]"), "explore", "low", 3}));

TEST_F(GraphContinueTest, NoRetrievedFilesGivesLowConfidenceAndNoRecommendation) {
  write_project_graph();
  Json out = run("login handler");
  EXPECT_EQ(out["confidence"], "low");
  EXPECT_EQ(out["recommended_files"], Json::array());
  EXPECT_EQ(out["memories"], Json::array());
}

class RemoteGraphContinueTest : public GraphContinueTest {
 protected:
  RemoteGraphContinueTest() : GraphContinueTest(/*with_module=*/false) {}
};

TEST_F(RemoteGraphContinueTest, WithoutAModuleTheRemoteRanksAndTheIntentIsGeneral) {
  // The remote graph API answers the ranking request.
  Settings settings = test_settings(dir_);
  state_ = std::make_unique<ServerState>(
      std::move(settings), nullptr,
      std::make_unique<TableTransport>(std::map<std::string, std::string>{
          {"http://127.0.0.1:8787/api/chat-fix",
           R"({"ok": true, "graph_files": [{"id": "src/r.py", "_score": 5}], "graph_edges": []})"}}),
      [] { return kTestNow; });
  write_project_graph();
  Json out = run("login handler");
  EXPECT_EQ(out["intent"], "general");
  EXPECT_EQ(out["confidence"], "medium");
  EXPECT_EQ(out["recommended_files"], Json::parse(R"([{"file": "src/r.py", "access_type": "new"}])"));
}

TEST_F(GraphContinueTest, ArgumentsCarryTheirDefaults) {
  common::Result<Json> checked = bind_arguments(tool_params(kGraphContinueParams), Json{{"query", "q"}});
  ASSERT_TRUE(checked) << checked.error();
  GraphContinueArgs args = fill_args(kGraphContinueParams, *checked);
  EXPECT_EQ(args.query, "q");
  EXPECT_EQ(args.top_files, 5);
  EXPECT_EQ(args.top_edges, 12);
  EXPECT_EQ(args.limit, 8);
}

}  // namespace
}  // namespace lumenfold::lodestar
