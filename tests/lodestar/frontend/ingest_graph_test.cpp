#include "lumenfold/lodestar/frontend/ingest_graph.h"

#include <string>

#include <gtest/gtest.h>

#include "lumenfold/common/json.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using lumenfold::testing::TempDir;
using testing::make_test_state;

TEST(IngestGraphTest, StoresTheGraphUnderTheServersRoot) {
  TempDir dir;
  auto state = make_test_state(dir);
  dir.write("data/retrieval_cache.json", "{\"entries\": {}}");
  RouteAnswer a = ingest_graph(R"({"root": "/elsewhere", "nodes": [], "edges": []})", *state);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.body, "{\"ok\":true,\"node_count\":0,\"edge_count\":0}");
  EXPECT_EQ(dir.read("data/info_graph.json"),
            "{\n  \"root\": \"" + state->settings.project_root.string() + "\",\n  \"nodes\": [],\n  \"edges\": []\n}");
  EXPECT_EQ(dir.read("data/symbol_index.json"), "{}");
  EXPECT_FALSE(fs::exists(dir.path() / "data/retrieval_cache.json"));
}

TEST(IngestGraphTest, CountsComeFromTheDocumentOrItsLists) {
  TempDir dir;
  auto state = make_test_state(dir);
  RouteAnswer a = ingest_graph(
      R"({"node_count": 7, "nodes": [{"id": "a.py", "kind": "file"},
          {"id": "a.py::f", "kind": "symbol", "line_start": 1, "line_end": 3, "body_hash": "abcd1234", "path": "a.py"}],
          "edges": [{"from": "a.py", "to": "a.py::f", "rel": "contains"}]})",
      *state);
  EXPECT_EQ(a.body, "{\"ok\":true,\"node_count\":7,\"edge_count\":1}");
  EXPECT_EQ(dir.read("data/symbol_index.json"),
            "{\"a.py::f\": {\"line_start\": 1, \"line_end\": 3, \"body_hash\": \"abcd1234\", \"confidence\": \"\", "
            "\"path\": \"a.py\"}}");
}

// The upload is laid out without ever being converted whole; the file must
// still be what converting it whole and writing it would give.
TEST(IngestGraphTest, WritesWhatTheWholeDocumentWouldBe) {
  const char* bodies[] = {
      R"({"nodes": [], "edges": []})",
      (R"({"edges": [[1, [2, []]], {}], "nodes": [{"id": "\u00e9.py", "x": 1.5e300, "k": [], "d": {"a": 1, "a": 2}}],)"
       R"( "root": "/old", "nodes": [{"id": "b"}], "extra": {"z": null, "y": [true, false, -0.0, 18446744073709551615]}})"),
      "\xEF\xBB\xBF{\"nodes\": [\"\xF0\x9F\x98\x80\"], \"edges\": [], \"root\": null}",
      // JSON that simdjson refuses: an integer past 64 bits.
      R"({"nodes": [{"id": "a", "size": 100000000000000000000}], "edges": [], "edge_count": 7})",
  };
  for (const char* body : bodies) {
    TempDir dir;
    auto state = make_test_state(dir);
    ASSERT_EQ(ingest_graph(body, *state).status, 200) << body;
    Json whole = *common::parse_json(body);
    whole["root"] = state->settings.project_root.string();
    EXPECT_EQ(dir.read("data/info_graph.json"), common::dump_indented(whole)) << body;
  }
}

TEST(IngestGraphTest, RefusesBodiesOfTheWrongShapeAndStoresNothing) {
  struct Case {
    const char* body;
    const char* answer;
  } cases[] = {
      {"[1]", R"({"ok":false,"error":"missing nodes/edges"})"},
      {R"("nodes and edges")", R"({"ok":false,"error":"missing nodes/edges"})"},
      {"null", R"({"ok":false,"error":"missing nodes/edges"})"},
      {R"({"nodes": []})", R"({"ok":false,"error":"missing nodes/edges"})"},
      {R"({"edges": []})", R"({"ok":false,"error":"missing nodes/edges"})"},
      {R"({"nodes": {"a.py": {"id": "a.py"}}, "edges": []})",
       R"({"ok":false,"error":"nodes and edges must be lists"})"},
      {R"({"nodes": [], "edges": {}})", R"({"ok":false,"error":"nodes and edges must be lists"})"},
      {R"({"nodes": null, "edges": []})", R"({"ok":false,"error":"nodes and edges must be lists"})"},
      {R"({"nodes": [], "edges": "a.py->b.py"})", R"({"ok":false,"error":"nodes and edges must be lists"})"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto state = make_test_state(dir);
    dir.write("data/retrieval_cache.json", "{\"entries\": {}}");
    RouteAnswer a = ingest_graph(c.body, *state);
    EXPECT_EQ(a.status, 400) << c.body;
    EXPECT_EQ(a.body, c.answer) << c.body;
    EXPECT_FALSE(fs::exists(dir.path() / "data/info_graph.json")) << c.body;
    EXPECT_TRUE(fs::exists(dir.path() / "data/retrieval_cache.json")) << c.body;
  }
}

TEST(IngestGraphTest, RefusesTextThatIsNotJsonWithTheParsersMessage) {
  TempDir dir;
  auto state = make_test_state(dir);
  for (const char* body : {"{\"nodes\": [", "", "nodes=[]"}) {
    RouteAnswer broken = ingest_graph(body, *state);
    EXPECT_EQ(broken.status, 400) << body;
    auto answer = common::parse_json(broken.body);
    ASSERT_TRUE(answer.has_value()) << body;
    EXPECT_EQ((*answer)["ok"], false);
    // The rest is the parser's own wording of where the text went wrong.
    EXPECT_TRUE((*answer)["error"].get<std::string>().starts_with("[json.exception.parse_error.")) << broken.body;
  }
  std::string deep = "{\"nodes\": " + std::string(100000, '[') + std::string(100000, ']') + ", \"edges\": []}";
  EXPECT_EQ(ingest_graph(deep, *state).body, "{\"ok\":false,\"error\":\"JSON nests deeper than 512 levels\"}");
  EXPECT_FALSE(fs::exists(dir.path() / "data/info_graph.json"));
}

}  // namespace
}  // namespace lumenfold::lodestar
