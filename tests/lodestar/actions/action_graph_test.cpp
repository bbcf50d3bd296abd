#include "lumenfold/lodestar/actions/action_graph.h"

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "test_support/held_syncs.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;
using testing::TempDir;

constexpr int64_t kNow = 1767225600;  // 2026-01-01T00:00:00Z

Json parse(const char* text) { return Json::parse(text); }

TEST(ActionGraphTest, EmptyGraphHasFourMembersInOrder) {
  EXPECT_EQ(empty_action_graph().dump(), R"({"nodes":[],"edges":[],"files":{},"actions":[]})");
}

TEST(ActionGraphTest, UnusableFilesLoadAsEmptyGraphAndStayUntouched) {
  const char* texts[] = {"[]", "null", "{\"nodes\": [", "", "42", "\"text\"", "\xff\xfe{}"};
  for (const char* text : texts) {
    TempDir dir;
    dir.write("g.json", text);
    EXPECT_EQ(load_action_graph(dir.path() / "g.json"), empty_action_graph()) << text;
    EXPECT_EQ(dir.read("g.json"), text);
  }
  TempDir dir;
  EXPECT_EQ(load_action_graph(dir.path() / "missing.json"), empty_action_graph());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing.json"));
}

TEST(ActionGraphTest, AFileTornByAPowerLossReadsAsThePreviousSave) {
  TempDir dir;
  common::StateFileSyncer syncer;
  const std::filesystem::path file = dir.path() / "g.json";
  Json first = empty_action_graph();
  append_action(first, "read", Json{{"file", "a.py"}}, 1);
  save_action_graph(file, first, &syncer);
  Json second = first;
  append_action(second, "read", Json{{"file", "b.py"}}, 2);
  testing::HeldSyncs held(syncer);  // power is lost before the second save is on disk
  save_action_graph(file, second, &syncer);
  EXPECT_EQ(load_action_graph(file), second);
  dir.write("g.json", "{\n  \"nodes\": [");
  EXPECT_EQ(load_action_graph(file), first);
}

TEST(ActionGraphTest, LoadAcceptsByteOrderMarkAndKeepsForeignMembers) {
  TempDir dir;
  dir.write("g.json", "\xEF\xBB\xBF{\"files\": {\"a.py\": {\"last_action\": \"read\"}}, \"extra\": 1}");
  EXPECT_EQ(load_action_graph(dir.path() / "g.json").dump(), R"({"files":{"a.py":{"last_action":"read"}},"extra":1})");
}

TEST(ActionGraphTest, MembersOfTheWrongTypeReadAsEmptyInPlace) {
  TempDir dir;
  dir.write("g.json", R"({"nodes": 5, "edges": {}, "files": [], "actions": "x", "decisions": 1,
                          "decisions_archive": [], "extra": 2})");
  EXPECT_EQ(load_action_graph(dir.path() / "g.json").dump(),
            R"({"nodes":[],"edges":[],"files":{},"actions":[],"decisions":[],"decisions_archive":"","extra":2})");
}

TEST(ActionGraphTest, EnsureNodeAddsOnlyUnknownIds) {
  Json g = Json::object();
  ensure_node(g, "query:login", "query", parse(R"({"text": "Login?"})"));
  ensure_node(g, "src/a.py", "file");
  ensure_node(g, "src/b.py", "file", Json::object());
  ensure_node(g, "query:login", "file", parse(R"({"text": "other"})"));
  EXPECT_EQ(g.dump(), R"({"nodes":[{"id":"query:login","type":"query","meta":{"text":"Login?"}},)"
                      R"({"id":"src/a.py","type":"file"},{"id":"src/b.py","type":"file"}]})");
}

TEST(ActionGraphTest, EnsureNodeSkipsDamagedNodesAndReplacesANonListMember) {
  Json g = parse(R"({"nodes": [7, ["x"], {"id": 3}, {"type": "file"}]})");
  ensure_node(g, "x", "file");
  EXPECT_EQ(g["nodes"].size(), 5u);
  Json h = parse(R"({"nodes": "broken"})");
  ensure_node(h, "x", "file");
  EXPECT_EQ(h.dump(), R"({"nodes":[{"id":"x","type":"file"}]})");
}

TEST(ActionGraphTest, EnsureNodeThroughAnIndexAddsWhatTheWalkWould) {
  Json walked = parse(R"({"nodes": [7, {"id": "a"}, {"id": 3}, {"type": "file"}]})");
  Json indexed = walked;
  NodeIds ids;
  const char* order[] = {"a", "b", "3", "a", "c", "b", "", "d", "c"};
  for (const char* id : order) {
    ensure_node(walked, id, "file", Json());
    ensure_node(indexed, id, "file", Json(), ids);
    ASSERT_EQ(indexed, walked) << id;
  }
  // Nodes appended without the index are found too.
  ensure_node(indexed, "e", "file");
  ensure_node(indexed, "e", "query", Json(), ids);
  EXPECT_EQ(indexed["nodes"].size(), walked["nodes"].size() + 1);
  // A shorter list is another document: the index starts over.
  Json other = parse(R"({"nodes": [{"id": "z"}]})");
  ensure_node(other, "a", "file", Json(), ids);
  ensure_node(other, "z", "file", Json(), ids);
  EXPECT_EQ(other.dump(), R"({"nodes":[{"id":"z"},{"id":"a","type":"file"}]})");
}

TEST(ActionGraphTest, AddEdgeAppendsWithoutDeduplicating) {
  Json g = Json::object();
  add_edge(g, "query:a", "src/a.py", "retrieved", kNow);
  add_edge(g, "query:a", "src/a.py", "retrieved", kNow + 1, Json::object());
  add_edge(g, "action:edit:1", "src/a.py", "edited", kNow + 2, parse(R"({"n": 1})"));
  EXPECT_EQ(g.dump(), R"({"edges":[{"from":"query:a","to":"src/a.py","rel":"retrieved","ts":1767225600},)"
                      R"({"from":"query:a","to":"src/a.py","rel":"retrieved","ts":1767225601},)"
                      R"({"from":"action:edit:1","to":"src/a.py","rel":"edited","ts":1767225602,"meta":{"n":1}}]})");
}

TEST(ActionGraphTest, The501stEdgeDropsTheOldest) {
  Json g = empty_action_graph();
  for (int i = 0; i < 500; ++i) add_edge(g, "q", "f" + std::to_string(i), "read", kNow);
  ASSERT_EQ(g["edges"].size(), 500u);
  EXPECT_EQ(g["edges"][0]["to"], "f0");
  add_edge(g, "q", "f500", "read", kNow);
  ASSERT_EQ(g["edges"].size(), 500u);
  EXPECT_EQ(g["edges"][0]["to"], "f1");
  EXPECT_EQ(g["edges"][499]["to"], "f500");
}

TEST(ActionGraphTest, RecordActionWritesTheFileItself) {
  TempDir dir;
  std::filesystem::path file = dir.path() / "data" / "sub" / "chat_action_graph.json";
  record_action(file, "read", parse(R"({"content": "secret", "file": "src/a.py"})"), kNow);
  EXPECT_EQ(load_action_graph(file).dump(),
            R"({"nodes":[],"edges":[],"files":{},"actions":[)"
            R"({"ts":1767225600,"kind":"read","payload":{"kind":"read","file":"src/a.py"}}]})");
}

TEST(ActionGraphTest, RecordActionKeepsTheRestAndTheNewest300) {
  TempDir dir;
  std::filesystem::path file = dir.path() / "g.json";
  Json g = parse(R"({"files": {"a.py": {"cached_chars": 3}}, "actions": [{"ts": 1, "kind": "old", "payload": [1]}]})");
  save_action_graph(file, g);
  for (int i = 0; i < 300; ++i) record_action(file, "k" + std::to_string(i), Json::object(), kNow + i);
  Json loaded = load_action_graph(file);
  EXPECT_EQ(loaded["files"].dump(), R"({"a.py":{"cached_chars":3}})");
  ASSERT_EQ(loaded["actions"].size(), 300u);
  EXPECT_EQ(loaded["actions"][0]["kind"], "k0");
  EXPECT_EQ(loaded["actions"][299].dump(), R"({"ts":1767225899,"kind":"k299","payload":{"kind":"k299"}})");
}

TEST(ActionGraphTest, SavedFileIsIndentedAsciiInInsertionOrder) {
  TempDir dir;
  Json g = empty_action_graph();
  ensure_node(g, "query:caf\xC3\xA9", "query", parse(R"({"text": "z", "a": []})"));
  save_action_graph(dir.path() / "g.json", g);
  EXPECT_EQ(dir.read("g.json"),
            "{\n"
            "  \"nodes\": [\n"
            "    {\n"
            "      \"id\": \"query:caf\\u00e9\",\n"
            "      \"type\": \"query\",\n"
            "      \"meta\": {\n"
            "        \"text\": \"z\",\n"
            "        \"a\": []\n"
            "      }\n"
            "    }\n"
            "  ],\n"
            "  \"edges\": [],\n"
            "  \"files\": {},\n"
            "  \"actions\": []\n"
            "}");
}

TEST(ActionGraphTest, SaveThrowsWhenTheDirectoryCannotBeMade) {
  TempDir dir;
  dir.write("blocker", "a file where a directory should be");
  EXPECT_THROW(save_action_graph(dir.path() / "blocker" / "g.json", empty_action_graph()), std::runtime_error);
  EXPECT_EQ(dir.read("blocker"), "a file where a directory should be");
}

}  // namespace
}  // namespace lumenfold::lodestar
