#include "lumenfold/lodestar/tools/graph_add_memory.h"

#include <gtest/gtest.h>

#include "lumenfold/common/json.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;
using lumenfold::testing::TempDir;
using testing::kTestNow;
using testing::make_test_state;

Json stored(const TempDir& dir) { return *common::parse_json(dir.read("data/context-store.json")); }

TEST(GraphAddMemoryTest, StoresANormalisedEntryWithEmptyListsForAbsentOnes) {
  TempDir dir;
  auto state = make_test_state(dir);
  Json out = graph_add_memory({"fact", "Tokens expire after one hour", {}, {}}, *state);
  EXPECT_EQ(out, Json::parse(R"({"ok": true, "total": 1})"));
  Json entry = stored(dir)[0];
  EXPECT_EQ(entry["kind"], "fact");
  EXPECT_EQ(entry["content"], "Tokens expire after one hour");
  EXPECT_EQ(entry["tags"], Json::array());
  EXPECT_EQ(entry["files"], Json::array());
  EXPECT_EQ(entry["created_epoch"], static_cast<int64_t>(kTestNow));
  EXPECT_TRUE(entry["id"].get<std::string>().starts_with("mem:"));
  // Created today, in the machine's time zone.
  EXPECT_EQ(entry["created_at"].get<std::string>().size(), 10u);
  // The tool is never logged.
  EXPECT_FALSE(std::filesystem::exists(state->settings.log_file()));
}

TEST(GraphAddMemoryTest, KeepsTagsAndFilesAndCountsTheStore) {
  TempDir dir;
  auto state = make_test_state(dir);
  graph_add_memory({"decision", "Use JWT for sessions", {"auth"}, {"src/auth.py"}}, *state);
  Json out = graph_add_memory({"task", "Write the refresh endpoint", {}, {}}, *state);
  EXPECT_EQ(out["total"], 2);
  Json first;
  for (const Json& e : stored(dir)) {
    if (e["kind"] == "decision") first = e;
  }
  EXPECT_EQ(first["tags"], Json::array({"auth"}));
  EXPECT_EQ(first["files"], Json::array({"src/auth.py"}));
  EXPECT_EQ(first["file_path"], "src/auth.py");
}

TEST(GraphAddMemoryTest, EmptyContentStoresNothing) {
  TempDir dir;
  auto state = make_test_state(dir);
  EXPECT_EQ(graph_add_memory({"fact", "   ", {}, {}}, *state)["total"], 0);
}

}  // namespace
}  // namespace lumenfold::lodestar
