#include "lumenfold/lodestar/frontend/prime.h"

#include <gtest/gtest.h>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;
using lumenfold::testing::TempDir;
using testing::make_test_state;

constexpr char kFresh[] = "\n(No prior edits recorded \xE2\x80\x94 graph is fresh)";

std::string header(const ServerState& state) {
  return "# Tessel Context\nProject: " + state.settings.project_root.string();
}

TEST(PrimeTest, FreshDataDirectory) {
  TempDir dir;
  auto state = make_test_state(dir);
  EXPECT_EQ(prime_text(*state), header(*state) + "\n" + kFresh);
}

TEST(PrimeTest, ScannedFileCountFallsBackToNodeCountThenQuestionMark) {
  TempDir dir;
  auto state = make_test_state(dir);
  dir.write("data/info_graph.json", R"({"node_count": 12})");
  EXPECT_EQ(prime_text(*state), header(*state) + "\nFiles scanned: 12\n" + kFresh);
  dir.write("data/info_graph.json", R"({"nodes": []})");
  EXPECT_EQ(prime_text(*state), header(*state) + "\nFiles scanned: ?\n" + kFresh);
  dir.write("data/info_graph.json", "{broken");
  EXPECT_EQ(prime_text(*state), header(*state) + "\n" + kFresh);
}

TEST(PrimeTest, ArchiveAloneStillCountsAsFresh) {
  TempDir dir;
  auto state = make_test_state(dir);
  Json graph = empty_action_graph();
  graph["decisions"] = Json::array();
  graph["decisions_archive"] = "chose sqlite";
  save_action_graph(state->settings.action_graph_file(), graph);
  EXPECT_EQ(prime_text(*state), header(*state) + "\n\n## Decisions\n(older) chose sqlite\n" + kFresh);
}

TEST(PrimeTest, ListsTheEightMostEditedFilesAndTheLastFiveDecisions) {
  TempDir dir;
  auto state = make_test_state(dir);
  Json graph = empty_action_graph();
  for (int i = 0; i < 10; ++i) {
    graph["files"]["src/f" + std::to_string(i) + ".py"] = Json{{"edited_count", i % 5}};
  }
  graph["files"]["src/text.py"] = Json{{"edited_count", "3"}};
  for (int i = 0; i < 7; ++i) graph["decisions"].push_back(Json{{"summary", "d" + std::to_string(i)}});
  save_action_graph(state->settings.action_graph_file(), graph);
  EXPECT_EQ(prime_text(*state), header(*state) +
                                    "\n\n## Recently edited\n"
                                    "- src/f4.py (edited 4x)\n- src/f9.py (edited 4x)\n"
                                    "- src/f3.py (edited 3x)\n- src/f8.py (edited 3x)\n- src/text.py (edited 3x)\n"
                                    "- src/f2.py (edited 2x)\n- src/f7.py (edited 2x)\n- src/f1.py (edited 1x)\n"
                                    "\n## Decisions\n- d2\n- d3\n- d4\n- d5\n- d6");
}

TEST(PrimeTest, MemoriesShowTheirLocationAndLeaveStaleOnesOut) {
  TempDir dir;
  auto state = make_test_state(dir);
  dir.write("data/context-store.json", R"([
    {"kind": "fact", "content": "Login uses JWT", "symbol_id": "src/auth.py::login", "symbol_hash": "aaaa1111",
     "stale": true, "stale_reason": "symbol body changed", "created_epoch": 1769850000},
    {"kind": "note", "content": "Cache lives in redis", "file_path": "src/cache.py", "created_epoch": 1769850000}])");
  // With no query a stale memory cannot score above zero (its penalty
  // outweighs any recency), so only the fresh one is shown.
  EXPECT_EQ(prime_text(*state), header(*state) + "\n\n## Memories\n- Cache lives in redis (src/cache.py)");
}

}  // namespace
}  // namespace lumenfold::lodestar
