#include "lumenfold/lodestar/tools/graph_add_memory.h"

#include <functional>
#include <string>
#include <vector>

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
  EXPECT_EQ(out.dump(), R"({"ok":true,"total":1,"pruned":0})");
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

// `count` stored memories of `kind`, `age` seconds old (negative: newer
// than now), the i-th anchored to `file_of(i)`.
Json memories(int count, const char* kind, int64_t age, const std::function<std::string(int)>& file_of) {
  Json out = Json::array();
  for (int i = 0; i < count; ++i) {
    out.push_back(Json{{"id", "m" + std::to_string(i)},
                       {"kind", kind},
                       {"content", "note " + std::to_string(i)},
                       {"file_path", file_of(i)},
                       {"created_epoch", static_cast<int64_t>(kTestNow) - age - i}});
  }
  return out;
}

TEST(GraphAddMemoryTest, SaysHowManyMemoriesTheCapsDropped) {
  constexpr int64_t kDay = 86400;
  auto one_file = [](int) { return std::string("src/a.py"); };
  auto own_file = [](int i) { return "src/f" + std::to_string(i) + ".py"; };
  auto no_file = [](int) { return std::string(); };
  struct Case {
    const char* name;
    Json stored;
    GraphAddMemoryArgs added;
    int total;
    int pruned;
  } cases[] = {
      {"room left", memories(199, "fact", 60, own_file), {"fact", "New note", {}, {}}, 200, 0},
      {"store full: the oldest goes", memories(200, "fact", 60, own_file), {"fact", "New note", {}, {}}, 200, 1},
      {"group full: its oldest goes", memories(6, "fact", 60, no_file), {"fact", "New note", {}, {}}, 6, 1},
      {"group full of newer ones: the new one goes",
       memories(6, "fact", -60, no_file),
       {"fact", "New note", {}, {}},
       6,
       1},
      {"decisions keep three per file",
       memories(3, "decision", 60, one_file),
       {"decision", "Use JWT", {}, {"src/a.py"}},
       3,
       1},
      {"expired habits go", memories(2, "query_association", 15 * kDay, own_file), {"fact", "New note", {}, {}}, 1, 2},
      {"an empty note saves nothing", memories(6, "fact", 60, no_file), {"fact", " ", {}, {}}, 6, 0},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto state = make_test_state(dir);
    dir.write("data/context-store.json", c.stored.dump());
    Json out = graph_add_memory(c.added, *state);
    EXPECT_EQ(out, Json({{"ok", true}, {"total", c.total}, {"pruned", c.pruned}})) << c.name;
    EXPECT_EQ(stored(dir).size(), static_cast<size_t>(c.total)) << c.name;
  }
}

std::string repeat(std::string_view unit, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += unit;
  return out;
}

// `count` texts "<prefix><i>", zero-padded to three digits.
std::vector<std::string> numbered(std::string_view prefix, size_t count) {
  std::vector<std::string> out;
  for (size_t i = 0; i < count; ++i) {
    out.push_back(std::string(prefix) + std::string(3 - std::to_string(i).size(), '0') + std::to_string(i));
  }
  return out;
}

std::vector<std::string> first(const std::vector<std::string>& items, size_t n) {
  return {items.begin(), items.begin() + static_cast<std::ptrdiff_t>(n)};
}

TEST(GraphAddMemoryTest, CutsWhatItStoresAndSaysSo) {
  const std::vector<std::string> tags = numbered("tag", 33);
  const std::vector<std::string> files = numbered("src/f", 101);
  const std::string too_long = "src/" + std::string(4093, 'x');
  struct Case {
    const char* name;
    GraphAddMemoryArgs given;
    GraphAddMemoryArgs stored;
    Json marks;
  } cases[] = {
      {"ordinary",
       {"fact", "Tokens expire", {"auth"}, {"src/auth.py"}},
       {"fact", "Tokens expire", {"auth"}, {"src/auth.py"}},
       Json::object()},
      {"long type",
       {repeat("k", 101), "Note", {}, {}},
       {repeat("k", 100), "Note", {}, {}},
       {{"type_truncated_to", 100}}},
      {"content at the limit",
       {"fact", repeat("\u00e9", 8000), {}, {}},
       {"fact", repeat("\u00e9", 8000), {}, {}},
       Json::object()},
      {"long content",
       {"fact", repeat("\u00e9", 8001), {}, {}},
       {"fact", repeat("\u00e9", 8000), {}, {}},
       {{"content_truncated_to", 8000}}},
      {"many tags", {"fact", "Note", tags, {}}, {"fact", "Note", first(tags, 32), {}}, {{"tags_truncated_to", 32}}},
      {"long tags",
       {"fact", "Note", {repeat("\u00e9", 101), "auth"}, {}},
       {"fact", "Note", {repeat("\u00e9", 100), "auth"}, {}},
       {{"tags_each_truncated_to", 100}}},
      {"a name longer than a path",
       {"fact", "Note", {}, {too_long, "src/a.py"}},
       {"fact", "Note", {}, {"src/a.py"}},
       {{"files_dropped_too_long", 1}}},
      {"many files",
       {"fact", "Note", {}, files},
       {"fact", "Note", {}, first(files, 100)},
       {{"files_truncated_to", 100}}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto state = make_test_state(dir);
    Json expected{{"ok", true}, {"total", 1}, {"pruned", 0}};
    expected.update(c.marks);
    EXPECT_EQ(graph_add_memory(c.given, *state), expected) << c.name;
    Json entry = stored(dir)[0];
    EXPECT_EQ(entry["kind"], c.stored.type) << c.name;
    EXPECT_EQ(entry["content"], c.stored.content) << c.name;
    EXPECT_EQ(entry["tags"], Json(c.stored.tags)) << c.name;
    EXPECT_EQ(entry["files"], Json(c.stored.files)) << c.name;
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
