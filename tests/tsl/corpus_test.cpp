#include "lumenfold/tsl/corpus.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "test_support/temp_dir.h"

namespace lumenfold::tsl {
namespace {

using common::Json;

Json graph_of(const std::string& root) {
  return Json::parse(R"({"root": ")" + root + R"(", "nodes": [
    {"id": "a.py", "kind": "file", "path": "a.py", "ext": ".py", "size": 12, "keywords": [],
     "summary": "Alpha.", "file_hash": "h1"},
    {"id": "a.py::run", "kind": "symbol", "path": "a.py"},
    {"id": "gone.py", "kind": "file", "path": "gone.py", "ext": ".py", "size": 5, "content": "stored text",
     "file_hash": "h2"},
    {"id": "a.py", "kind": "file", "path": "a.py", "ext": ".py", "size": 99, "file_hash": "h9"},
    {"id": "far.py", "kind": "file", "path": "far.py", "ext": ".py", "size": 9, "keywords": ["ledger", "post"]},
    {"kind": "file"}
  ], "edges": [
    {"from": "a.py", "to": "os", "rel": "imports"},
    {"from": "a.py", "to": "a.py::run", "rel": "contains"},
    {"from": "", "to": "x", "rel": "imports"}
  ]})");
}

TEST(LoadCorpusTest, ReadsTextsFromDiskAndFallsBackToStoredContent) {
  testing::TempDir dir;
  dir.write("a.py", "def run():\n\tpass\r\n");
  Corpus corpus = load_corpus(graph_of(dir.path().string()));
  EXPECT_EQ(corpus.root, dir.path().string());
  ASSERT_EQ(corpus.files.size(), 3u);
  EXPECT_EQ(corpus.files[0].id, "a.py");
  EXPECT_EQ(corpus.files[0].text, "def run():\n\tpass\n");
  EXPECT_EQ(corpus.files[0].summary, "Alpha.");
  EXPECT_EQ(corpus.files[0].size, 12);
  EXPECT_EQ(corpus.files[0].symbol_ids, std::vector<std::string>{"a.py::run"});
  EXPECT_EQ(corpus.files[1].id, "gone.py");
  EXPECT_EQ(corpus.files[1].text, "stored text");
  EXPECT_EQ(corpus.files[2].text, "ledger\npost\n");
  ASSERT_EQ(corpus.edges.size(), 1u);
  EXPECT_EQ(corpus.edges[0].to, "os");
}

TEST(LoadCorpusTest, ToleratesDocumentsWithoutMembers) {
  EXPECT_TRUE(load_corpus(Json::object()).files.empty());
  EXPECT_TRUE(load_corpus(Json::parse(R"({"nodes": 3, "edges": {}})")).files.empty());
}

TEST(GraphFingerprintTest, ChangesWithFilesButNotWithOtherMembers) {
  Json graph = graph_of("/p");
  std::string base = graph_fingerprint(graph);
  EXPECT_EQ(base.size(), 32u);
  Json same = graph;
  same["edges"] = Json::array();
  same["nodes"][1]["name"] = "other";
  EXPECT_EQ(graph_fingerprint(same), base);
  Json rehashed = graph;
  rehashed["nodes"][0]["file_hash"] = "h3";
  EXPECT_NE(graph_fingerprint(rehashed), base);
  Json moved = graph;
  moved["root"] = "/q";
  EXPECT_NE(graph_fingerprint(moved), base);
}

}  // namespace
}  // namespace lumenfold::tsl
