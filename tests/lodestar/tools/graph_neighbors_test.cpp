#include "lumenfold/lodestar/tools/graph_neighbors.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "lumenfold/common/json.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;
using lumenfold::testing::TempDir;
using testing::make_test_state;

// A graph with a self edge, edges in both directions and a symbol edge.
constexpr char kGraph[] = R"({"root": "ROOT", "nodes": [{"id": "a.py", "kind": "file"}], "edges": [
  {"from": "a.py", "to": "os", "rel": "imports"},
  {"from": "b.py", "to": "a.py", "rel": "imports"},
  {"from": "a.py", "to": "a.py", "rel": "references"},
  {"from": "c.py", "to": "d.py", "rel": "imports"},
  {"from": "a.py", "to": "a.py::f", "rel": "contains"}]})";

void write_graph(const TempDir& dir, const ServerState& state) {
  std::string text = kGraph;
  text.replace(text.find("ROOT"), 4, state.settings.project_root.string());
  dir.write("data/info_graph.json", text);
}

TEST(GraphNeighborsTest, ListsEdgesTouchingTheFileInOrder) {
  TempDir dir;
  auto state = make_test_state(dir);
  write_graph(dir, *state);
  Json out = graph_neighbors({"a.py", 30}, *state);
  EXPECT_EQ(out["ok"], true);
  EXPECT_EQ(out["file"], "a.py");
  ASSERT_EQ(out["neighbors"].size(), 4u);
  EXPECT_EQ(out["neighbors"][1], Json::parse(R"({"from": "b.py", "to": "a.py", "rel": "imports"})"));
  // The self edge is listed once.
  EXPECT_EQ(out["neighbors"][2]["rel"], "references");
}

TEST(GraphNeighborsTest, LimitIsTestedAfterEachAppend) {
  TempDir dir;
  auto state = make_test_state(dir);
  write_graph(dir, *state);
  EXPECT_EQ(graph_neighbors({"a.py", 0}, *state)["neighbors"].size(), 1u);
  EXPECT_EQ(graph_neighbors({"a.py", 2}, *state)["neighbors"].size(), 2u);
  EXPECT_EQ(graph_neighbors({"zzz", 5}, *state)["neighbors"], Json::array());
  // Each call is logged, none is recorded in the action graph.
  std::string log = dir.read("data/mcp_tool_calls.jsonl");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3);
  EXPECT_FALSE(std::filesystem::exists(state->settings.action_graph_file()));
}

TEST(GraphNeighborsTest, FallsBackToTheRemoteGraphWhenThereIsNoLocalOne) {
  TempDir dir;
  auto state = make_test_state(dir, {{"http://127.0.0.1:8787/api/info-graph?full=1",
                                      R"({"edges": [{"from": "x.ts", "to": "y.ts", "rel": "imports"}]})"}});
  EXPECT_EQ(graph_neighbors({"y.ts", 30}, *state)["neighbors"].size(), 1u);
}

TEST(GraphNeighborsTest, UnreachableRemoteApiIsAFailedCall) {
  TempDir dir;
  auto state = make_test_state(dir);
  EXPECT_THROW(graph_neighbors({"a.py", 30}, *state), std::runtime_error);
}

}  // namespace
}  // namespace lumenfold::lodestar
