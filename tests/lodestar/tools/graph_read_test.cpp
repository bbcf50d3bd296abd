#include "lumenfold/lodestar/tools/graph_read.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/hash.h"
#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/graph/read_cut.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using lumenfold::testing::TempDir;

// 20 numbered lines: "line 0" ... "line 19".
std::string numbered_lines() {
  std::string text;
  for (int i = 0; i < 20; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

class GraphReadTest : public ::testing::Test {
 protected:
  GraphReadTest() : state_(testing::make_test_state(dir_)) {
    dir_.write("proj/src/a.py", "def login():\n    return 1\n");
    dir_.write("proj/src/lines.py", numbered_lines());
  }

  Json read(const std::string& file, int64_t max_chars = 20000, const std::string& query = "",
            const std::string& anchor = "") {
    return graph_read({file, max_chars, query, anchor}, *state_);
  }
  Json action_graph() const { return load_action_graph(state_->settings.action_graph_file()); }
  std::vector<std::string> action_kinds() const {
    std::vector<std::string> kinds;
    const Json graph = action_graph();
    for (const Json& a : graph["actions"]) kinds.push_back(a["kind"]);
    return kinds;
  }
  void write_symbol_index(const std::string& doc) { dir_.write("data/symbol_index.json", doc); }
  std::string root() const { return state_->settings.project_root.string(); }

  TempDir dir_;
  std::unique_ptr<ServerState> state_;
};

TEST_F(GraphReadTest, ServesTheWholeFileAndRecordsTheRead) {
  Json out = read("src/a.py", 20000, "Fix the login flow");
  EXPECT_EQ(out,
            Json({{"ok", true}, {"file", "src/a.py"}, {"content", "def login():\n    return 1\n"}, {"mode", "full"}}));
  EXPECT_EQ(state_->turn.used_chars, 26);
  ASSERT_EQ(state_->turn.seen_reads.size(), 1u);
  EXPECT_EQ(state_->turn.seen_reads[0].first, "src/a.py|login flow|");

  EXPECT_EQ(testing::logged_payloads(dir_),
            std::vector<Json>{Json::parse(R"({"file": "src/a.py", "requested_chars": 20000,
    "granted_chars": 20000, "query": "Fix the login flow", "anchor": "", "mode": "full", "response_chars": 26,
    "response_tokens_est": 6, "budget_used_chars": 26, "budget_remaining_chars": 59974})")});

  Json graph = action_graph();
  // The "read" action saved before the graph was loaded again is kept.
  EXPECT_EQ(graph["actions"], Json::parse(R"([{"ts": 1769850902, "kind": "read", "payload": {"kind": "read",
    "file": "src/a.py", "query": "Fix the login flow", "mode": "full", "response_chars": 26}}])"));
  EXPECT_EQ(graph["nodes"],
            Json::parse(R"([{"id": "query:login flow", "type": "query", "meta": {"text": "Fix the login flow"}},
    {"id": "src/a.py", "type": "file"}])"));
  EXPECT_EQ(graph["edges"], Json::parse(R"([{"from": "query:login flow", "to": "src/a.py", "rel": "read",
    "ts": 1769850902, "meta": {"mode": "full"}}])"));
  EXPECT_EQ(graph["files"]["src/a.py"], Json::parse(R"({"query_terms": ["login", "flow"],
    "cached_content": "def login():\n    return 1\n", "cached_chars": 26, "cached_tokens_est": 6,
    "last_action": "read", "last_ts": 1769850902})"));
  // The read became a query association memory.
  EXPECT_NE(dir_.read("data/context-store.json").find("Queried during: Fix the login flow"), std::string::npos);
}

TEST_F(GraphReadTest, ReadWithoutQueryUsesTheEmptyQueryNode) {
  read("src/a.py");
  EXPECT_EQ(action_graph()["nodes"][0]["id"], "query:(empty)");
  EXPECT_FALSE(fs::exists(state_->settings.context_store_file()));
}

TEST_F(GraphReadTest, RequestedSizeIsRaisedToTheMinimumAndCappedByTheHardMaximum) {
  dir_.write("proj/big.txt", std::string(30000, 'x'));
  struct Case {
    int64_t max_chars;
    int64_t requested;
    size_t returned;
  };
  for (const Case& c : {Case{0, 256, 256}, Case{100, 256, 256}, Case{-5, 256, 256}, Case{1000, 1000, 1000},
                        Case{50000, 50000, 20000}}) {
    state_->turn.reset();
    Json out = read("big.txt", c.max_chars);
    EXPECT_EQ(out["mode"], "head") << c.max_chars;
    EXPECT_EQ(out["content"].get<std::string>().size(), c.returned) << c.max_chars;
    EXPECT_EQ(testing::logged_payloads(dir_).back()["requested_chars"], c.requested) << c.max_chars;
  }
}

TEST_F(GraphReadTest, ExplorationReplacesTheMaximumAndTheBudget) {
  dir_.write("proj/big.txt", std::string(30000, 'x'));
  state_->turn.explore_hard_max_chars = 6000;
  state_->turn.explore_budget_chars = 8000;
  EXPECT_EQ(read("big.txt")["content"].get<std::string>().size(), 6000u);
  Json second = read("big.txt", 20000, "other terms");
  EXPECT_EQ(second["mode"], "query_excerpt");
  EXPECT_EQ(second["content"].get<std::string>().size(), 2000u);
  // Reported against the standard budget.
  EXPECT_EQ(testing::logged_payloads(dir_).back()["budget_remaining_chars"], 52000);
  Json refused = read("src/a.py");
  EXPECT_EQ(refused["budget"],
            Json::parse(R"({"used_chars": 8000, "remaining_chars": 0, "turn_read_budget_chars": 8000})"));
}

TEST_F(GraphReadTest, SpentBudgetRefusesAndIsLoggedButNotRecorded) {
  state_->turn.used_chars = 60000;
  Json out = read("src/a.py", 20000, "login");
  EXPECT_EQ(
      out,
      Json::parse(R"({"ok": false, "error": "turn read budget exhausted; call graph_retrieve again or use fallback_rg",
    "budget": {"used_chars": 60000, "remaining_chars": 0, "turn_read_budget_chars": 60000}})"));
  EXPECT_EQ(testing::logged_payloads(dir_).back(),
            Json::parse(R"({"file": "src/a.py", "requested_chars": 20000, "granted_chars": 0,
    "query": "login", "anchor": "", "mode": "budget_exhausted", "response_chars": 0, "response_tokens_est": 0})"));
  EXPECT_TRUE(action_kinds().empty());
}

TEST_F(GraphReadTest, LastCharactersOfTheBudgetAreGranted) {
  dir_.write("proj/big.txt", std::string(9000, 'y'));
  state_->turn.used_chars = 55000;
  Json out = read("big.txt");
  EXPECT_EQ(out["content"].get<std::string>().size(), 5000u);
  EXPECT_EQ(testing::logged_payloads(dir_).back()["granted_chars"], 5000);
  EXPECT_EQ(state_->turn.used_chars, 60000);
}

TEST_F(GraphReadTest, RepeatIsAnsweredWithAPreviewAndNotCharged) {
  dir_.write("proj/big.txt", std::string(1000, 'z'));
  read("big.txt", 20000, "", "ZZZ");
  const int64_t used = state_->turn.used_chars;
  Json again = read("big.txt", 20000, "", "zzz");
  EXPECT_EQ(again, Json({{"ok", true},
                         {"file", "big.txt"},
                         {"content", std::string(200, 'z')},
                         {"mode", "dedupe_preview"},
                         {"already_returned", true}}));
  EXPECT_EQ(state_->turn.used_chars, used);
  EXPECT_EQ(testing::logged_payloads(dir_).back()["granted_chars"], 500);
  EXPECT_EQ(testing::logged_payloads(dir_).back()["response_chars"], 200);
  EXPECT_EQ(action_kinds(), std::vector<std::string>{"read"});
  // Another anchor is another read.
  EXPECT_EQ(read("big.txt", 20000, "", "zz")["mode"], "anchor_excerpt");
  EXPECT_GT(state_->turn.used_chars, used);
}

TEST_F(GraphReadTest, TurnRemembersTheLastTwentyReads) {
  for (int i = 0; i < 21; ++i) read("src/a.py", 20000, "", "anchor" + std::to_string(i));
  ASSERT_EQ(state_->turn.seen_reads.size(), 20u);
  EXPECT_EQ(state_->turn.seen_reads.front().first, "src/a.py||anchor1");
  EXPECT_EQ(read("src/a.py", 20000, "", "anchor0")["mode"], "anchor_fallback_head");
}

TEST_F(GraphReadTest, AnchorCentresTheGrantedWindow) {
  std::string text = std::string(1000, 'a') + "NEEDLE" + std::string(1000, 'b');
  dir_.write("proj/n.txt", text);
  Json out = read("n.txt", 300, "", "needle");
  EXPECT_EQ(out["mode"], "anchor_excerpt");
  EXPECT_EQ(out["content"], text.substr(850, 300));

  state_->turn.reset();
  Json at_start = read("n.txt", 300, "", "AAA");
  EXPECT_EQ(at_start["content"], std::string(150, 'a'));

  Json missing = read("n.txt", 300, "", "haystack");
  EXPECT_EQ(missing["mode"], "anchor_fallback_head");
  EXPECT_EQ(missing["content"], std::string(300, 'a'));
}

TEST_F(GraphReadTest, CutsALongAnchorAndSaysSo) {
  const std::string e_acute = "\u00e9";
  auto repeat = [](const std::string& unit, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += unit;
    return out;
  };
  struct Case {
    std::string query;
    std::string anchor;
    std::string kept_anchor;
    const char* mode;
    Json marks;
  } cases[] = {
      {"", "login", "login", "anchor_excerpt", Json::object()},
      {"", repeat(e_acute, 8000), repeat(e_acute, 8000), "anchor_fallback_head", Json::object()},
      {"", repeat(e_acute, 8001), repeat(e_acute, 8000), "anchor_fallback_head", {{"anchor_truncated_to", 8000}}},
      {repeat("y", 9000),
       repeat("x", 9000),
       repeat("x", 8000),
       "anchor_fallback_head",
       {{"query_truncated_to", 8000}, {"anchor_truncated_to", 8000}}},
  };
  for (const Case& c : cases) {
    state_->turn.reset();
    Json expected{{"ok", true}, {"file", "src/a.py"}, {"content", "def login():\n    return 1\n"}, {"mode", c.mode}};
    expected.update(c.marks);
    EXPECT_EQ(read("src/a.py", 20000, c.query, c.anchor), expected) << c.anchor.substr(0, 20);
    EXPECT_EQ(testing::logged_payloads(dir_).back()["anchor"], c.kept_anchor);
    EXPECT_EQ(state_->turn.seen_reads.back().first.substr(state_->turn.seen_reads.back().first.rfind('|') + 1),
              c.kept_anchor);
  }
}

TEST_F(GraphReadTest, LongFileIsCutAroundTheQueryTerms) {
  std::string text;
  for (int i = 0; i < 200; ++i)
    text += (i == 100 ? "def checkout_total():" : "filler line number " + std::to_string(i)) + "\n";
  dir_.write("proj/shop.py", text);
  Json out = read("shop.py", 300, "checkout_total");
  EXPECT_EQ(out["mode"], "query_excerpt");
  EXPECT_EQ(out["content"].get<std::string>().rfind("filler line number 88\n", 0), 0u);
  state_->turn.reset();
  EXPECT_EQ(read("shop.py", 300, "fix it")["mode"], "head");
}

TEST_F(GraphReadTest, SymbolReadCutsItsLinesAndNoticesChanges) {
  const std::string body = "line 10\nline 11\nline 12";
  write_symbol_index(R"({"src/lines.py::f": {"line_start": 10, "line_end": 12, "body_hash": ")" +
                     common::short_hash(body) + R"(", "confidence": "high", "path": "src/lines.py"}})");
  Json out = read("src/lines.py::f");
  EXPECT_EQ(out, Json({{"ok", true}, {"file", "src/lines.py::f"}, {"content", body}, {"mode", "symbol_excerpt"}}));

  dir_.write("proj/src/lines.py", "changed\n" + numbered_lines());
  state_->turn.reset();
  Json stale = read("src/lines.py::f");
  EXPECT_EQ(stale["content"], "line 9\nline 10\nline 11");
  EXPECT_EQ(stale["stale"], true);
  EXPECT_EQ(stale["stale_reason"],
            "symbol body changed since last graph scan \xE2\x80\x94 consider running graph_scan again");
}

TEST_F(GraphReadTest, SymbolLinesAreClampedToTheFile) {
  write_symbol_index(R"({"src/lines.py::tail": {"line_start": 18, "path": "src/lines.py"},
                         "src/lines.py::past": {"line_start": 40, "line_end": 50}})");
  EXPECT_EQ(read("src/lines.py::tail")["content"], "line 18\nline 19");
  Json past = read("src/lines.py::past");
  EXPECT_EQ(past["content"], "");
  EXPECT_FALSE(past.contains("stale"));
}

TEST_F(GraphReadTest, UnknownSymbolReadsTheWholeFile) {
  Json out = read("src/a.py::nope");
  EXPECT_EQ(out["mode"], "full");
  EXPECT_EQ(out["content"], "def login():\n    return 1\n");
}

TEST_F(GraphReadTest, PathsOutsideTheRootAreRefused) {
  dir_.write("outside.txt", "secret");
  dir_.write("proj-old/x.txt", "old");
  fs::create_symlink(dir_.path() / "outside.txt", state_->settings.project_root / "link.txt");
  fs::create_symlink(dir_.path(), state_->settings.project_root / "up");
  const Json refused = Json::parse(R"({"ok": false, "error": "outside project root"})");
  for (const std::string& file :
       {std::string("../outside.txt"), std::string("src/../../outside.txt"), (dir_.path() / "outside.txt").string(),
        std::string("/etc/hostname"), std::string("link.txt"), std::string("up/outside.txt"),
        std::string("../proj-old/x.txt"), std::string("../outside.txt::f"), std::string("/proc/self/environ"), [] {
          std::string deep;
          for (int i = 0; i < 1300; ++i) deep += "../";
          return deep + "etc/passwd";
        }()}) {
    EXPECT_EQ(read(file), refused) << file.substr(0, 80);
  }
  EXPECT_EQ(state_->turn.used_chars, 0);
  EXPECT_TRUE(testing::logged_payloads(dir_).empty());
}

TEST_F(GraphReadTest, NamesHoldingANulAreRefusedBeforeAnythingIsRecorded) {
  const Json refused = Json::parse(R"({"ok": false, "error": "file name must not contain a NUL character"})");
  // Served as "src/a.py" and recorded under the whole name, were it let
  // through; and with the allowlist on, even its refusal is recorded.
  for (bool allowlist : {false, true}) {
    state_->settings.enforce_read_allowlist = allowlist;
    state_->turn.retrieved_files = {"src/b.py"};
    for (const std::string& file : {std::string("src/a.py\0.txt", 13), std::string("src/a.py::log\0in", 16),
                                    std::string("\0", 1), std::string("src/b.py\0", 9)}) {
      EXPECT_EQ(read(file), refused);
    }
  }
  EXPECT_FALSE(fs::exists(state_->settings.action_graph_file()));
  EXPECT_TRUE(testing::logged_payloads(dir_).empty());
  EXPECT_EQ(state_->turn.used_chars, 0);
}

TEST_F(GraphReadTest, NamesLongerThanAPathAreRefusedBeforeAnythingIsRecorded) {
  const Json refused = Json::parse(R"({"ok": false, "error": "file name is longer than any path"})");
  std::string deep;
  for (int i = 0; i < 300000; ++i) deep += "../";
  for (bool allowlist : {false, true}) {
    state_->settings.enforce_read_allowlist = allowlist;
    state_->turn.retrieved_files = {"src/b.py"};
    for (const std::string& file :
         {std::string(4097, 'a'), "src/a.py::" + std::string(4087, 'f'), deep + "etc/passwd"}) {
      EXPECT_EQ(read(file), refused) << file.substr(0, 20);
    }
  }
  EXPECT_FALSE(fs::exists(state_->settings.action_graph_file()));
  EXPECT_TRUE(testing::logged_payloads(dir_).empty());
  EXPECT_EQ(state_->turn.used_chars, 0);
  // A name of PATH_MAX bytes is read as any other.
  state_->settings.enforce_read_allowlist = false;
  const std::string longest = std::string(4096, 'a');
  EXPECT_EQ(read(longest), Json({{"ok", false}, {"error", "file not found"}, {"file", longest}}));
}

TEST_F(GraphReadTest, LinksAndPathsThatStayInsideAreServed) {
  fs::create_symlink(state_->settings.project_root / "src/a.py", state_->settings.project_root / "alias.py");
  EXPECT_EQ(read("alias.py")["content"], "def login():\n    return 1\n");
  EXPECT_EQ(read(root() + "/src/a.py")["ok"], true);
  EXPECT_EQ(read("src/../src/lines.py")["ok"], true);
}

TEST_F(GraphReadTest, DeletedFileIsServedFromTheGraph) {
  dir_.write("data/info_graph.json",
             "\xEF\xBB\xBF"
             R"({"nodes": [{"id": "src/gone.py", "path": "src/other.py", "content": "x"},
    {"id": "src/gone.py", "path": "src/gone.py", "content": "def gone():\n    pass\n    # end\n"},
    {"path": "src/gone.py", "content": "second"}]})");
  EXPECT_EQ(read("src/gone.py"), Json({{"ok", true},
                                       {"file", "src/gone.py"},
                                       {"content", "def gone():\n    pass\n    # end\n"},
                                       {"mode", "full"}}));
  write_symbol_index(R"({"src/gone.py::gone": {"line_start": 0, "line_end": 1, "body_hash": ""}})");
  EXPECT_EQ(read("src/gone.py::gone")["content"], "def gone():\n    pass");
}

TEST_F(GraphReadTest, NothingToReadIsFileNotFound) {
  write_symbol_index(R"({"src/gone.py::f": {"line_start": 0, "line_end": 1}})");
  const Json expected = Json::parse(R"({"ok": false, "error": "file not found", "file": "src/gone.py::f"})");
  EXPECT_EQ(read("src/gone.py::f"), expected);
  dir_.write("data/info_graph.json", R"({"nodes": [{"path": "src/gone.py"}]})");
  EXPECT_EQ(read("src/gone.py::f"), expected);
  dir_.write("data/info_graph.json", "{broken");
  EXPECT_EQ(read("src/gone.py::f"), expected);
  EXPECT_EQ(read("src"), Json::parse(R"({"ok": false, "error": "file not found", "file": "src"})"));
}

TEST_F(GraphReadTest, BinaryFileLosesItsUndecodableBytes) {
  dir_.write("proj/logo.png", std::string("\x89PNG\r\n\x1A\n\0\xFF\xC3\xA9", 12));
  EXPECT_EQ(read("logo.png")["content"], std::string("PNG\r\n\x1A\n\0\xC3\xA9", 10));
}

TEST_F(GraphReadTest, AllowlistRefusesFilesTheTurnDidNotRetrieve) {
  state_->settings.enforce_read_allowlist = true;
  EXPECT_EQ(read("src/a.py")["ok"], true);  // nothing retrieved yet: open
  state_->turn.retrieved_files = {"src/lines.py", "src/a.py"};
  Json out = read("src/other.py");
  EXPECT_EQ(
      out,
      Json::parse(
          R"({"ok": false, "error": "file not in retrieved allowlist; call graph_retrieve with broader top_files first",
    "retrieved_files": ["src/a.py", "src/lines.py"]})"));
  EXPECT_EQ(testing::logged_payloads(dir_).back(),
            Json::parse(R"({"file": "src/other.py", "requested_chars": 20000, "granted_chars": 0,
    "query": "", "anchor": "", "mode": "allowlist_blocked", "retrieved_files": ["src/a.py", "src/lines.py"]})"));
  EXPECT_EQ(action_kinds().back(), "read_blocked_allowlist");
  EXPECT_EQ(read("src/lines.py::f")["ok"], true);  // its file was retrieved
  state_->settings.enforce_read_allowlist = false;
  EXPECT_EQ(read("src/other.py")["error"], "file not found");
}

TEST_F(GraphReadTest, ReuseGateAsksForACandidateFirst) {
  state_->turn.reuse_gate_candidates = {"src/lines.py"};
  Json out = read("src/a.py");
  EXPECT_EQ(out, Json::parse(R"({"ok": false, "error": "reuse gate active: read one reuse candidate first",
    "reuse_gate_candidates": ["src/lines.py"]})"));
  EXPECT_EQ(testing::logged_payloads(dir_).back()["mode"], "reuse_gate_blocked");
  EXPECT_EQ(testing::logged_payloads(dir_).back()["reuse_gate_candidates"], Json::array({"src/lines.py"}));
  EXPECT_EQ(action_kinds(), std::vector<std::string>{"read_blocked_reuse_gate"});

  // A symbol of a candidate passes, and reading it opens the gate.
  EXPECT_EQ(read("src/lines.py::f", 20000, "", "line 3")["ok"], true);
  EXPECT_TRUE(state_->turn.reuse_gate_satisfied);
  EXPECT_EQ(read("src/a.py")["ok"], true);
}

TEST_F(GraphReadTest, ReuseGateIsOffWhenNotEnforced) {
  state_->settings.enforce_reuse_gate = false;
  state_->turn.reuse_gate_candidates = {"src/lines.py"};
  EXPECT_EQ(read("src/a.py")["ok"], true);
}

TEST_F(GraphReadTest, EarlierReadForSharedTermsAnswersFromTheActionGraph) {
  Json graph = empty_action_graph();
  graph["files"]["src/a.py"] =
      Json{{"query_terms", Json::array({"login", "session"})}, {"cached_content", std::string(400, 'c')}};
  save_action_graph(state_->settings.action_graph_file(), graph);
  state_->turn.reuse_gate_candidates = {"src/a.py"};

  Json out = read("src/a.py", 0, "login page");
  EXPECT_EQ(out, Json({{"ok", true},
                       {"file", "src/a.py"},
                       {"content", std::string(256, 'c')},
                       {"mode", "cache_hit"},
                       {"from_action_graph", true}}));
  EXPECT_EQ(state_->turn.used_chars, 0);
  EXPECT_TRUE(state_->turn.reuse_gate_satisfied);
  EXPECT_EQ(testing::logged_payloads(dir_).back(),
            Json::parse(R"({"file": "src/a.py", "requested_chars": 256, "granted_chars": 256,
    "query": "login page", "anchor": "", "mode": "cache_hit", "response_chars": 256, "response_tokens_est": 64})"));
  EXPECT_EQ(action_kinds(), std::vector<std::string>{"read_cache_hit"});
  // No shared term: read from disk.
  EXPECT_EQ(read("src/a.py", 0, "payment")["mode"], "full");
}

TEST_F(GraphReadTest, HostileActionGraphIsReadAsEmpty) {
  dir_.write("data/chat_action_graph.json",
             R"({"files": ["src/a.py"], "actions": [{"ts": 1, "kind": "read", "payload": 7}, 3]})");
  EXPECT_EQ(read("src/a.py", 20000, "login")["mode"], "full");
  Json graph = action_graph();
  EXPECT_EQ(graph["files"]["src/a.py"]["last_action"], "read");
  EXPECT_EQ(graph["actions"].size(), 3u);
}

TEST_F(GraphReadTest, SecondReadWithinTheWindowRecordsAnInteractionPattern) {
  read("src/a.py", 20000, "login");
  read("src/lines.py", 20000, "login");
  read("src/a.py", 20000, "login", "def");
  std::string store = dir_.read("data/context-store.json");
  EXPECT_NE(store.find("Frequently read with: src/lines.py"), std::string::npos);
}

}  // namespace
}  // namespace lumenfold::lodestar
