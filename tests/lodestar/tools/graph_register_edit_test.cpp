#include "lumenfold/lodestar/tools/graph_register_edit.h"

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/json.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;
using lumenfold::testing::TempDir;
using testing::kTestNow;
using testing::make_test_state;

constexpr int64_t kNow = static_cast<int64_t>(kTestNow);

Json read_json(const TempDir& dir, const std::string& relative) { return *common::parse_json(dir.read(relative)); }
Json action_graph(const TempDir& dir) { return read_json(dir, "data/chat_action_graph.json"); }
Json context_store(const TempDir& dir) { return read_json(dir, "data/context-store.json"); }

// The stored memory of `kind` anchored to `file_path`, or null.
Json memory_of(const TempDir& dir, const std::string& kind, const std::string& file_path) {
  for (const Json& m : context_store(dir)) {
    if (m["kind"] == kind && m["file_path"] == file_path) return m;
  }
  return Json();
}

Json run(ServerState& state, const Json& files, const std::string& summary = "") {
  return graph_register_edit(fill_args(kGraphRegisterEditParams, Json{{"files", files}, {"summary", summary}}), state);
}

TEST(GraphRegisterEditTest, TextIsAOneElementListOfFileScope) {
  TempDir dir;
  auto state = make_test_state(dir);
  Json out = run(*state, "src/a.py", "Rename login");
  EXPECT_EQ(out, Json::parse(R"({"ok": true, "edited_files": ["src/a.py"], "count": 1,
                                  "retrieval_cache_invalidated": 0})"));
  Json g = action_graph(dir);
  EXPECT_EQ(g["decisions"], Json::parse(R"([{"ts": 1769850902, "summary": "Rename login", "files": ["src/a.py"],
                                             "scope": "file"}])"));
  EXPECT_EQ(g["files"]["src/a.py"],
            Json::parse(R"({"last_action": "edited", "last_ts": "2026-01-31T09:15:02+00:00", "edited_count": 1})"));
  EXPECT_EQ(g["nodes"], Json::parse(R"([{"id": "action:edit:1769850902", "type": "action",
                                         "meta": {"summary": "Rename login"}},
                                        {"id": "src/a.py", "type": "file"}])"));
  EXPECT_EQ(g["edges"], Json::parse(R"([{"from": "action:edit:1769850902", "to": "src/a.py", "rel": "edited",
                                         "ts": 1769850902}])"));
  // The registration itself is the last action, in slim form.
  EXPECT_EQ(g["actions"].back(), Json::parse(R"({"ts": 1769850902, "kind": "register_edit",
                                                  "payload": {"kind": "register_edit"}})"));
  Json log_line = *common::parse_json(dir.read("data/mcp_tool_calls.jsonl"));
  EXPECT_EQ(log_line["tool"], "graph_register_edit");
  EXPECT_EQ(log_line["payload"], Json::parse(R"({"files": ["src/a.py"], "summary": "Rename login"})"));
}

TEST(GraphRegisterEditTest, TwoFilesAreGlobalAndAFileListedTwiceCountsTwice) {
  TempDir dir;
  auto state = make_test_state(dir);
  Json out = run(*state, Json::array({"src/a.py", "src/b.py", "src/a.py"}), "Split auth");
  EXPECT_EQ(out["count"], 3);
  EXPECT_EQ(out["edited_files"], Json::array({"src/a.py", "src/b.py", "src/a.py"}));
  Json g = action_graph(dir);
  EXPECT_EQ(g["decisions"][0]["scope"], "global");
  EXPECT_EQ(g["files"]["src/a.py"]["edited_count"], 2);
  EXPECT_EQ(g["files"]["src/b.py"]["edited_count"], 1);
  EXPECT_EQ(g["edges"].size(), 3u);
  EXPECT_EQ(g["nodes"].size(), 3u);  // one node per distinct file
  // The second observation of src/a.py merges into the first.
  int observations = 0;
  for (const Json& m : context_store(dir)) observations += m["kind"] == "edit_observation";
  EXPECT_EQ(observations, 2);
}

TEST(GraphRegisterEditTest, UpdatesAnExistingRecordInPlace) {
  TempDir dir;
  auto state = make_test_state(dir);
  dir.write("data/chat_action_graph.json", R"({"files": {"src/a.py": {"query_terms": ["login"],
      "cached_chars": 10, "last_action": "read", "last_ts": 5, "edited_count": "2"}}})");
  run(*state, "src/a.py");
  EXPECT_EQ(action_graph(dir)["files"]["src/a.py"],
            Json::parse(R"({"query_terms": ["login"], "cached_chars": 10, "last_action": "edited",
                            "last_ts": "2026-01-31T09:15:02+00:00", "edited_count": 3})"));
}

TEST(GraphRegisterEditTest, TheTwentyFirstDecisionGoesToTheArchive) {
  TempDir dir;
  auto state = make_test_state(dir);
  for (int i = 1; i <= 21; ++i) run(*state, "src/a.py", "change " + std::to_string(i));
  Json g = action_graph(dir);
  EXPECT_EQ(g["decisions"].size(), 20u);
  EXPECT_EQ(g["decisions"][0]["summary"], "change 2");
  EXPECT_EQ(g["decisions_archive"], "change 1");
  run(*state, "src/a.py", "change 22");
  EXPECT_EQ(action_graph(dir)["decisions_archive"], "change 1; change 2");
}

TEST(GraphRegisterEditTest, ArchiveLosesTrailingFullStopsAndStopsAt300Characters) {
  TempDir dir;
  auto state = make_test_state(dir);
  Json decisions = Json::array();
  for (int i = 0; i < 21; ++i) decisions.push_back(Json{{"ts", i}, {"summary", "old " + std::to_string(i)}});
  // A decision edited by hand into a non-object is archived as nothing.
  decisions[1] = 7;
  Json g{{"decisions", decisions}, {"decisions_archive", "Earlier work..."}};
  dir.write("data/chat_action_graph.json", g.dump());
  run(*state, "src/a.py", "new");
  g = action_graph(dir);
  EXPECT_EQ(g["decisions_archive"], "Earlier work; old 0; ");
  EXPECT_EQ(g["decisions"].size(), 20u);
  EXPECT_EQ(g["decisions"].back()["summary"], "new");

  // A long archive is cut at 300 code points; later summaries are lost.
  std::string long_archive(298, 'x');
  long_archive += "\xC3\xA9\xC3\xA9\xC3\xA9";  // three two-byte characters
  g["decisions_archive"] = long_archive;
  dir.write("data/chat_action_graph.json", g.dump());
  run(*state, "src/a.py", "newer");
  std::string archive = action_graph(dir)["decisions_archive"];
  EXPECT_EQ(archive, std::string(298, 'x') + "\xC3\xA9\xC3\xA9");
}

TEST(GraphRegisterEditTest, StoresTheDecisionWithItsEvidence) {
  TempDir dir;
  auto state = make_test_state(dir);
  dir.write("data/symbol_index.json",
            R"({"src/a.py::login": {"line_start": 0, "line_end": 4, "body_hash": "abcd1234", "confidence": "high",
                                    "path": "src/a.py"}})");
  // A read of the file a minute ago, one of another file, and one too old.
  dir.write(
      "data/chat_action_graph.json",
      Json{{"actions",
            Json::array({
                Json{{"ts", kNow - 500}, {"kind", "read"}, {"payload", {{"file", "src/a.py"}, {"query", "old query"}}}},
                Json{{"ts", kNow - 60},
                     {"kind", "read"},
                     {"payload", {{"file", "src/a.py"}, {"query", " login handler "}}}},
                Json{{"ts", kNow - 30}, {"kind", "read"}, {"payload", {{"file", "src/z.py"}, {"query", "other"}}}},
            })}}
          .dump());
  run(*state, Json::array({"src/a.py::login", "src/b.py"}), "Login handler validates tokens");

  Json decision = memory_of(dir, "decision", "src/a.py");
  ASSERT_TRUE(decision.is_object());
  EXPECT_EQ(decision["id"], "mem:1769850902000");
  decision.erase("id");
  EXPECT_EQ(decision, Json::parse(R"({
    "kind": "decision", "content": "Login handler validates tokens",
    "tags": ["login", "handler", "validates", "tokens"], "files": ["src/a.py::login", "src/b.py"],
    "file_path": "src/a.py", "symbol_id": "src/a.py::login", "symbol_hash": "abcd1234",
    "created_at": "2026-01-31T09:15:02+00:00", "created_epoch": 1769850902,
    "updated_at": "2026-01-31T09:15:02+00:00", "stale": false, "stale_reason": "",
    "observed_queries": ["login handler"],
    "evidence": {"window_sec": 120, "recent_action_kinds": ["read"], "recent_queries": ["login handler"]}})"));
}

TEST(GraphRegisterEditTest, ObservationNamesTheQueryThatLedToTheEdit) {
  TempDir dir;
  auto state = make_test_state(dir);
  dir.write("data/chat_action_graph.json",
            Json{{"actions", Json::array({
                                 Json{{"ts", kNow - 120},
                                      {"kind", "read"},
                                      {"payload", {{"file", "src/a.py::f"}, {"query", "login handler"}}}},
                             })}}
                .dump());
  run(*state, Json::array({"src/a.py", "src/b.py"}));

  Json a = memory_of(dir, "edit_observation", "src/a.py");
  EXPECT_EQ(a["content"], "Edited after query: login handler");
  // Without a summary the tags come from the content.
  EXPECT_EQ(a["tags"], Json::parse(R"(["edited", "after", "query", "login", "handler"])"));
  EXPECT_EQ(a["files"], Json::array({"src/a.py"}));
  EXPECT_EQ(a["observed_queries"], Json::array({"login handler"}));
  EXPECT_EQ(a["evidence"], Json::parse(R"({"source": "graph_register_edit", "recent_action_kinds": ["read"],
                                           "recent_queries": ["login handler"], "edited": true})"));
  Json b = memory_of(dir, "edit_observation", "src/b.py");
  EXPECT_EQ(b["content"], "Edited during active session");
  EXPECT_EQ(b["evidence"]["recent_action_kinds"], Json::array());
  // No decision is stored for an empty summary.
  EXPECT_TRUE(memory_of(dir, "decision", "src/a.py").is_null());
}

TEST(GraphRegisterEditTest, ObservationOfAnUnknownSymbolIsAnchoredToItsFile) {
  TempDir dir;
  auto state = make_test_state(dir);
  run(*state, "src/gone.py::f", "Drop f");
  Json m = memory_of(dir, "edit_observation", "src/gone.py");
  EXPECT_EQ(m["symbol_id"], "src/gone.py::f");
  EXPECT_EQ(m["symbol_hash"], "");
  EXPECT_EQ(m["tags"], Json::array({"drop"}));
}

TEST(GraphRegisterEditTest, DropsCacheEntriesNamingTheFileOrItsSymbols) {
  TempDir dir;
  auto state = make_test_state(dir);
  auto entry = [](const Json& files) {
    return Json{{"created_epoch", kNow}, {"files", files}, {"mtimes_ns", Json::object()}, {"result", Json::object()}};
  };
  Json cache{{"entries",
              {{"k1", entry(Json::array({"src/a.py"}))},
               {"k2", entry(Json::array({"src/b.py", "src/a.py::g"}))},
               {"k3", entry(Json::array({"src/b.py"}))},
               {"k4", entry("src/a.py")},                                                   // not a list: left alone
               {"k5", Json{{"created_epoch", kNow - 10000}, {"files", Json::array()}}}}}};  // expired
  dir.write("data/retrieval_cache.json", cache.dump());
  Json out = run(*state, "src/a.py::f", "edit f");
  EXPECT_EQ(out["retrieval_cache_invalidated"], 2);
  Json entries = read_json(dir, "data/retrieval_cache.json")["entries"];
  std::vector<std::string> keys;
  for (const auto& [key, value] : entries.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"k3", "k4"}));
}

TEST(GraphRegisterEditTest, PrimedMarkerOnlyWhileNothingIsEdited) {
  TempDir dir;
  auto state = make_test_state(dir);
  Json out = run(*state, Json::array(), "plan only");
  EXPECT_EQ(out, Json::parse(R"({"ok": true, "edited_files": [], "count": 0, "retrieval_cache_invalidated": 0,
      "graph_state": "primed",
      "graph_state_reason": "Structural signal established. Future turns will use memory_first routing."})"));
  // The decision is still kept, without anchors.
  EXPECT_EQ(action_graph(dir)["decisions"][0]["scope"], "file");
  EXPECT_EQ(memory_of(dir, "decision", "")["content"], "plan only");

  run(*state, "src/a.py");
  EXPECT_FALSE(run(*state, Json::array()).contains("graph_state"));
}

TEST(GraphRegisterEditTest, SurvivesHostileStateFiles) {
  TempDir dir;
  auto state = make_test_state(dir);
  dir.write("data/chat_action_graph.json",
            R"({"nodes": {}, "files": ["src/a.py"], "decisions": "none", "decisions_archive": 3,
                "actions": [5, {"ts": 1769850900, "kind": "read", "payload": "src/a.py"}]})");
  dir.write("data/retrieval_cache.json", R"(["not", "a", "cache"])");
  dir.write("data/symbol_index.json", "null");
  Json out = run(*state, Json::array({"src/a.py", ""}), "x");
  EXPECT_EQ(out["count"], 2);
  Json g = action_graph(dir);
  EXPECT_EQ(g["files"]["src/a.py"]["edited_count"], 1);
  EXPECT_EQ(g["files"][""]["edited_count"], 1);
  EXPECT_EQ(g["decisions"].size(), 1u);

  // A file record that is not an object starts again as an empty one.
  dir.write("data/chat_action_graph.json", R"({"files": {"src/a.py": "edited"}})");
  run(*state, "src/a.py");
  EXPECT_EQ(action_graph(dir)["files"]["src/a.py"]["edited_count"], 1);
}

std::string repeat(std::string_view unit, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += unit;
  return out;
}

// `count` names "src/f<i>.py" padded with `pad` to `bytes` bytes (when
// given), zero-padded so that their order is their sorted order.
Json names(size_t count, size_t bytes = 0) {
  Json out = Json::array();
  for (size_t i = 0; i < count; ++i) {
    std::string name = "src/f" + std::string(3 - std::to_string(i).size(), '0') + std::to_string(i) + ".py";
    if (bytes > name.size()) name += std::string(bytes - name.size(), 'x');
    out.push_back(name);
  }
  return out;
}

Json slice(const Json& list, size_t from, size_t to) { return Json(list.begin() + from, list.begin() + to); }

Json concat(Json first, const Json& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

TEST(GraphRegisterEditTest, CutsWhatItStoresAndSaysSo) {
  const Json many = names(101);
  const Json near_path_max = names(5, 4096);
  const Json too_long = names(2, 4097);
  const Json mixed = concat(Json::array({"src/a.py", too_long[0]}), many);
  struct Case {
    const char* name;
    Json files;
    std::string summary;
    Json kept_files;
    std::string kept_summary;
    Json marks;
  } cases[] = {
      {"ordinary", Json::array({"src/a.py", "src/b.py"}), "Split auth", Json::array({"src/a.py", "src/b.py"}),
       "Split auth", Json::object()},
      {"summary at the limit", Json::array({"src/a.py"}), repeat("\u00e9", 8000), Json::array({"src/a.py"}),
       repeat("\u00e9", 8000), Json::object()},
      {"long summary",
       Json::array({"src/a.py"}),
       repeat("\u00e9", 8001),
       Json::array({"src/a.py"}),
       repeat("\u00e9", 8000),
       {{"summary_truncated_to", 8000}}},
      {"names longer than a path",
       Json::array({too_long[0], "src/a.py", too_long[1]}),
       "x",
       Json::array({"src/a.py"}),
       "x",
       {{"files_dropped_too_long", 2}}},
      {"a name of PATH_MAX bytes is kept", slice(near_path_max, 0, 1), "x", slice(near_path_max, 0, 1), "x",
       Json::object()},
      {"more than 100 files", many, "x", slice(many, 0, 100), "x", {{"files_truncated_to", 100}}},
      {"more than 16 KiB of names", near_path_max, "x", slice(near_path_max, 0, 4), "x", {{"files_truncated_to", 4}}},
      {"every cut",
       mixed,
       repeat("x", 9000),
       concat(Json::array({"src/a.py"}), slice(many, 0, 99)),
       repeat("x", 8000),
       {{"files_dropped_too_long", 1}, {"files_truncated_to", 100}, {"summary_truncated_to", 8000}}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto state = make_test_state(dir);
    Json expected{{"ok", true},
                  {"edited_files", c.kept_files},
                  {"count", c.kept_files.size()},
                  {"retrieval_cache_invalidated", 0}};
    expected.update(c.marks);
    EXPECT_EQ(run(*state, c.files, c.summary), expected) << c.name;
    Json decision = action_graph(dir)["decisions"][0];
    EXPECT_EQ(decision["summary"], c.kept_summary) << c.name;
    EXPECT_EQ(decision["files"], c.kept_files) << c.name;
    EXPECT_EQ(memory_of(dir, "decision", c.kept_files[0])["content"], c.kept_summary) << c.name;
    EXPECT_EQ(testing::logged_payloads(dir).back(), Json({{"files", c.kept_files}, {"summary", c.kept_summary}}))
        << c.name;
  }
}

TEST(GraphRegisterEditTest, ArgumentsTakeATextOrAList) {
  GraphRegisterEditArgs text = fill_args(kGraphRegisterEditParams, Json{{"files", "a.py"}, {"summary", "s"}});
  EXPECT_EQ(text.files, std::vector<std::string>{"a.py"});
  EXPECT_EQ(text.summary, "s");
  GraphRegisterEditArgs list = fill_args(kGraphRegisterEditParams, Json{{"files", {"a.py", "a.py"}}, {"summary", ""}});
  EXPECT_EQ(list.files, (std::vector<std::string>{"a.py", "a.py"}));
}

}  // namespace
}  // namespace lumenfold::lodestar
