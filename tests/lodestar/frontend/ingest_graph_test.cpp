#include "lumenfold/lodestar/frontend/ingest_graph.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(IngestGraphTest, RefusesBadBodies) {
  TempDir dir;
  auto state = make_test_state(dir);
  RouteAnswer missing = ingest_graph(R"({"nodes": []})", *state);
  EXPECT_EQ(missing.status, 400);
  EXPECT_EQ(missing.body, "{\"ok\":false,\"error\":\"missing nodes/edges\"}");
  EXPECT_EQ(ingest_graph("[1]", *state).body, "{\"ok\":false,\"error\":\"missing nodes/edges\"}");
  RouteAnswer broken = ingest_graph("{\"nodes\": [", *state);
  EXPECT_EQ(broken.status, 400);
  auto body = common::parse_json(broken.body);
  ASSERT_TRUE(body.has_value());
  EXPECT_EQ((*body)["ok"], false);
  EXPECT_NE((*body)["error"].get<std::string>().find("parse error"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.path() / "data/info_graph.json"));
}

TEST(IngestGraphTest, TakesJsonThatTheFastParserRefuses) {
  TempDir dir;
  auto state = make_test_state(dir);
  // An integer past 64 bits, and nesting deeper than 1024 levels.
  RouteAnswer big = ingest_graph(R"({"nodes": [], "edges": [], "size": 100000000000000000000})", *state);
  EXPECT_EQ(big.status, 200);
  EXPECT_EQ(big.body, "{\"ok\":true,\"node_count\":0,\"edge_count\":0}");
  EXPECT_NE(dir.read("data/info_graph.json").find("\"size\": 1e+20"), std::string::npos);
  const std::string deep = std::string(1100, '[') + std::string(1100, ']');
  EXPECT_EQ(ingest_graph(R"({"nodes": [], "edges": )" + deep + "}", *state).status, 200);
}

}  // namespace
}  // namespace lumenfold::lodestar
