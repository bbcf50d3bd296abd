#include "lumenfold/lodestar/tools/graph_impact.h"

#include <gtest/gtest.h>

#include "lumenfold/common/json.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;
using lumenfold::testing::TempDir;
using testing::make_test_state;

void write_graph(const TempDir& dir, const ServerState& state, const std::string& edges) {
  dir.write("data/info_graph.json", R"({"root": ")" + state.settings.project_root.string() +
                                        R"(", "nodes": [{"id": "x"}], "edges": )" + edges + "}");
}

TEST(GraphImpactTest, ConnectsLocalFilesBothWays) {
  TempDir dir;
  auto state = make_test_state(dir);
  write_graph(dir, *state, R"([{"from": "a.py", "to": "os", "rel": "imports"},
                                {"from": "b.py", "to": "a.py", "rel": "imports"},
                                {"from": "c.py", "to": "d.py", "rel": "imports"}])");
  // Neither "os" nor a file name without a directory is a local file
  // reference, so nothing is connected.
  Json out = graph_impact({{"d.py", "a.py"}}, *state);
  EXPECT_EQ(out, Json::parse(R"({"ok": true, "changed_files": ["a.py", "d.py"], "connected_files": [],
                                  "untouched_connected_files": []})"));
}

TEST(GraphImpactTest, SortsAndSeparatesUntouchedFiles) {
  TempDir dir;
  auto state = make_test_state(dir);
  write_graph(dir, *state, R"([
    {"from": "src/z.py", "to": "src/a.py", "rel": "imports"},
    {"from": "src/a.py", "to": "lib/m.py", "rel": "references"},
    {"from": "src/a.py", "to": "src/z.py", "rel": "references"},
    {"from": "src/q.py", "to": "src/a.py::run", "rel": "references"},
    {"to": "src/a.py", "rel": "imports"}])");
  Json out = graph_impact({{"src/z.py", "src/a.py"}}, *state);
  EXPECT_EQ(out["changed_files"], Json::parse(R"(["src/a.py", "src/z.py"])"));
  EXPECT_EQ(out["connected_files"], Json::parse(R"(["lib/m.py", "src/a.py", "src/z.py"])"));
  EXPECT_EQ(out["untouched_connected_files"], Json::parse(R"(["lib/m.py"])"));
  // Logged and recorded as an "impact" action.
  std::string actions = dir.read("data/chat_action_graph.json");
  EXPECT_NE(actions.find("\"kind\": \"impact\""), std::string::npos);
}

TEST(GraphImpactTest, EmptyListGivesThreeEmptyLists) {
  TempDir dir;
  auto state = make_test_state(dir);
  write_graph(dir, *state, "[]");
  EXPECT_EQ(graph_impact({{}}, *state),
            Json::parse(R"({"ok": true, "changed_files": [], "connected_files": [], "untouched_connected_files": []})"));
}

}  // namespace
}  // namespace lumenfold::lodestar
