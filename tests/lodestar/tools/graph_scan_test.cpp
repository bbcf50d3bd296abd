#include "lumenfold/lodestar/tools/graph_scan.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using lumenfold::testing::TempDir;
using testing::make_test_state;

constexpr char kSuccessMessage[] = "Graph built. Use graph_continue or graph_retrieve to query.";

TEST(GraphScanTest, ScansWritesBothDocumentsAndResetsTheSession) {
  TempDir dir;
  auto state = make_test_state(dir);
  dir.write("proj/src/app.py", "import os\n\ndef run():\n    return os.getcwd()\n");
  dir.write("data/retrieval_cache.json", "{\"entries\": {}}");
  record_action(state->settings.action_graph_file(), "query", Json{{"q", "x"}}, 1);
  state->turn.query_key = "old turn";
  state->turn.explore_budget_chars = 36000;

  Json out = graph_scan({(dir.path() / "proj").string()}, *state);
  std::string root = (dir.path() / "proj").string();
  EXPECT_EQ(out, Json({{"ok", true},
                       {"project_root", root},
                       {"file_count", 1},
                       {"symbol_count", 1},
                       {"edge_count", 2},
                       {"message", kSuccessMessage}}));
  auto graph = common::parse_json(dir.read("data/info_graph.json"));
  ASSERT_TRUE(graph.has_value());
  EXPECT_EQ((*graph)["root"], root);
  EXPECT_EQ(dir.read("data/symbol_index.json").substr(0, 22), "{\"src/app.py::run\": {\"");
  EXPECT_FALSE(fs::exists(dir.path() / "data/retrieval_cache.json"));
  EXPECT_EQ(load_action_graph(state->settings.action_graph_file()), empty_action_graph());
  EXPECT_EQ(state->turn.query_key, "");
  EXPECT_EQ(state->turn.explore_budget_chars, 36000);
  EXPECT_EQ(state->settings.project_root, dir.path() / "proj");
  EXPECT_NE(dir.read("data/mcp_tool_calls.jsonl").find("\"tool\": \"graph_scan\""), std::string::npos);
}

TEST(GraphScanTest, SecondScanReusesUnchangedFiles) {
  TempDir dir;
  auto state = make_test_state(dir);
  dir.write("proj/a.md", "# A project readme with a heading\n");
  graph_scan({(dir.path() / "proj").string()}, *state);
  // A summary the rules would not produce survives only through reuse.
  std::string text = dir.read("data/info_graph.json");
  std::string marker = "\"summary\": \"A project readme with a heading.\"";
  ASSERT_NE(text.find(marker), std::string::npos);
  text.replace(text.find(marker), marker.size(), "\"summary\": \"kept from before\"");
  dir.write("data/info_graph.json", text);
  Json again = graph_scan({(dir.path() / "proj").string()}, *state);
  EXPECT_EQ(again["file_count"], 1);
  EXPECT_NE(dir.read("data/info_graph.json").find("kept from before"), std::string::npos);
}

// A rescan takes the unchanged files' parts from its own previous
// documents: after an edit it writes what a first scan writes.
TEST(GraphScanTest, RescanAfterAnEditWritesWhatAFirstScanWrites) {
  TempDir dir;
  auto state = make_test_state(dir);
  dir.write("proj/a.py", "def alpha():\n    pass\n");
  dir.write("proj/b.py", "import a\n\ndef beta():\n    pass\n");
  const std::string root = (dir.path() / "proj").string();
  graph_scan({root}, *state);
  ASSERT_TRUE(fs::exists(dir.path() / "data/scan_state.json"));
  dir.write("proj/b.py", "import a\n\ndef gamma():\n    pass\n");
  graph_scan({root}, *state);

  TempDir other;
  auto first = make_test_state(other);
  graph_scan({root}, *first);
  EXPECT_EQ(dir.read("data/info_graph.json"), other.read("data/info_graph.json"));
  EXPECT_EQ(dir.read("data/symbol_index.json"), other.read("data/symbol_index.json"));
  EXPECT_NE(dir.read("data/symbol_index.json").find("b.py::gamma"), std::string::npos);
}

TEST(GraphScanTest, LeavesOutFileLinksThatResolveOutsideTheRoot) {
  TempDir dir;
  auto state = make_test_state(dir);
  dir.write("proj/a.md", "# Local notes\n");
  dir.write("secret/passwd", "root:x:0:0:root:/root:/bin/bash\n");
  fs::create_symlink(dir.path() / "secret/passwd", dir.path() / "proj/passwd.md");
  Json out = graph_scan({(dir.path() / "proj").string()}, *state);
  EXPECT_EQ(out["file_count"], 1);
  std::string graph = dir.read("data/info_graph.json");
  EXPECT_EQ(graph.find("root:x:0:0"), std::string::npos);
  EXPECT_EQ(graph.find("passwd"), std::string::npos);
}

TEST(GraphScanTest, RefusesWhatIsNotADirectory) {
  TempDir dir;
  auto state = make_test_state(dir);
  dir.write("proj/file.py", "x = 1\n");
  EXPECT_EQ(graph_scan({(dir.path() / "proj/file.py").string()}, *state),
            Json({{"ok", false}, {"error", "Not a directory: " + (dir.path() / "proj/file.py").string()}}));
  EXPECT_EQ(graph_scan({(dir.path() / "missing").string()}, *state)["error"],
            "Not a directory: " + (dir.path() / "missing").string());
  EXPECT_FALSE(fs::exists(dir.path() / "data/info_graph.json"));
}

TEST(GraphScanTest, ExpandsTheHomeDirectory) {
  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(resolve_user_path("~"), fs::weakly_canonical(home));
  EXPECT_EQ(resolve_user_path("~/x/../y"), fs::weakly_canonical(fs::path(home) / "y"));
  EXPECT_EQ(resolve_user_path("~no-such-user-here/z").filename(), "z");
}

TEST(GraphScanTest, LockedServerRefusesAnotherRoot) {
  TempDir dir;
  auto state = make_test_state(dir);
  state->settings.locked_project_root = dir.path() / "proj";
  fs::create_directories(dir.path() / "other");
  std::string other = (dir.path() / "other").string();
  std::string locked = (dir.path() / "proj").string();
  Json out = graph_scan({other}, *state);
  EXPECT_EQ(out["ok"], false);
  EXPECT_EQ(out["error"], "MCP server is locked to " + locked + "; refusing graph_scan(" + other +
                              "). Each Claude/Codex session uses its own MCP process bound to one project \u2014 run "
                              "tslc/tsl in the other project's directory to spawn a separate server for it.");
  EXPECT_EQ(out["locked_project_root"], locked);
  EXPECT_EQ(out["attempted_project_root"], other);
  EXPECT_FALSE(fs::exists(dir.path() / "data/info_graph.json"));
  // Its own root is still allowed.
  EXPECT_EQ(graph_scan({locked}, *state)["ok"], true);
}

TEST(GraphScanTest, LockedServerGivesTheSameRefusalWhateverThePathIs) {
  TempDir dir;
  auto state = make_test_state(dir);
  state->settings.locked_project_root = dir.path() / "proj";
  dir.write("other/file.py", "x = 1\n");
  const std::string locked = (dir.path() / "proj").string();
  for (const std::string& path : {(dir.path() / "other").string(), (dir.path() / "other/file.py").string(),
                                  (dir.path() / "missing").string(), std::string("/etc/passwd"), std::string("/")}) {
    Json out = graph_scan({path}, *state);
    EXPECT_EQ(out, Json({{"ok", false},
                         {"error", "MCP server is locked to " + locked + "; refusing graph_scan(" + path +
                                       "). Each Claude/Codex session uses its own MCP process bound to one project "
                                       "\u2014 run tslc/tsl in the other project's directory to spawn a separate "
                                       "server for it."},
                         {"locked_project_root", locked},
                         {"attempted_project_root", path}}))
        << path;
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
