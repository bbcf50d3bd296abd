#include "lumenfold/lodestar/graph/info_graph_cache.h"

#include <chrono>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/server/settings.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;

class InfoGraphCacheTest : public ::testing::Test {
 protected:
  InfoGraphCacheTest() {
    settings_.data_dir = dir_.path() / "data";
    settings_.project_root = dir_.path() / "project";
    fs::create_directories(settings_.project_root);
  }

  // A two-node graph scanned from `root`; `tag` ends up in the summary.
  static std::string graph_text(const std::string& root, const std::string& tag = "v1") {
    return R"js({
  "root": ")js" +
           root + R"js(",
  "node_count": 2,
  "nodes": [
    {"id": "a.py", "kind": "file", "content": "print('secret text')", "summary": ")js" +
           tag + R"js("},
    {"id": "a.py::f", "kind": "symbol", "line_start": 0, "line_end": 1}
  ],
  "edges": [{"from": "a.py", "to": "a.py::f", "rel": "contains"}]
})js";
  }

  fs::path write_graph(const std::string& text) { return dir_.write("data/info_graph.json", text); }

  void set_mtime(fs::file_time_type t) { fs::last_write_time(settings_.info_graph_file(), t); }
  fs::file_time_type mtime() const { return fs::last_write_time(settings_.info_graph_file()); }

  void lock() { settings_.locked_project_root = settings_.project_root; }
  std::shared_ptr<const Json> get() { return cache_.get(settings_.info_graph_file(), settings_.locked_project_root); }

  testing::TempDir dir_;
  Settings settings_;
  InfoGraphCache cache_;
};

TEST_F(InfoGraphCacheTest, MissingFileGivesNull) { EXPECT_EQ(get(), nullptr); }

TEST_F(InfoGraphCacheTest, LoadsWithoutFileContents) {
  write_graph("\xEF\xBB\xBF" + graph_text("/elsewhere"));
  std::shared_ptr<const Json> graph = get();
  ASSERT_NE(graph, nullptr);
  EXPECT_EQ(graph->dump(), R"({"root":"/elsewhere","node_count":2,"nodes":[{"id":"a.py","kind":"file","summary":"v1"},)"
                           R"({"id":"a.py::f","kind":"symbol","line_start":0,"line_end":1}],)"
                           R"("edges":[{"from":"a.py","to":"a.py::f","rel":"contains"}]})");
}

TEST_F(InfoGraphCacheTest, UnchangedFileIsReadOnce) {
  write_graph(graph_text("/p", "v1"));
  const fs::file_time_type t = mtime();
  std::shared_ptr<const Json> first = get();
  ASSERT_NE(first, nullptr);
  // New bytes under the same time: the cached document is served.
  write_graph(graph_text("/p", "v2"));
  set_mtime(t);
  EXPECT_EQ(get(), first);
  EXPECT_EQ((*get())["nodes"][0]["summary"], "v1");
}

TEST_F(InfoGraphCacheTest, OneNanosecondNewerFileIsReadAgain) {
  write_graph(graph_text("/p", "v1"));
  const fs::file_time_type t = mtime();
  std::shared_ptr<const Json> first = get();
  write_graph(graph_text("/p", "v2"));
  set_mtime(t + std::chrono::nanoseconds(1));
  std::shared_ptr<const Json> second = get();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ((*second)["nodes"][0]["summary"], "v2");
  // A holder of the old document still sees it intact.
  EXPECT_EQ((*first)["nodes"][0]["summary"], "v1");
}

TEST_F(InfoGraphCacheTest, BrokenFileGivesNullAndKeepsTheCache) {
  write_graph(graph_text("/p", "v1"));
  const fs::file_time_type t = mtime();
  std::shared_ptr<const Json> first = get();
  for (const std::string& bad :
       {std::string("{\"nodes\": [}"), std::string("[1, 2]"), std::string("{\"nodes\": 5}"),
        std::string("{\"nodes\": {}}"), std::string("{\"nodes\": [{\"content\": \"\\q\"}]}")}) {
    write_graph(bad);
    set_mtime(t + std::chrono::seconds(1));
    EXPECT_EQ(get(), nullptr) << bad;
  }
  // The old entry is still there for a file with the old time.
  write_graph(graph_text("/p", "v2"));
  set_mtime(t);
  EXPECT_EQ(get(), first);
}

TEST_F(InfoGraphCacheTest, GraphWithoutNodesIsAccepted) {
  write_graph(R"({"root": "", "edges": []})");
  ASSERT_NE(get(), nullptr);
  EXPECT_EQ(get()->dump(), R"({"root":"","edges":[]})");
}

TEST_F(InfoGraphCacheTest, OtherRootIsAcceptedWithoutLock) {
  write_graph(graph_text("/some/other/project"));
  EXPECT_NE(get(), nullptr);
}

TEST_F(InfoGraphCacheTest, LockedRootRefusesOtherProjectAndEmptiesTheCache) {
  lock();
  write_graph(graph_text(settings_.project_root.string(), "v1"));
  const fs::file_time_type t = mtime();
  ASSERT_NE(get(), nullptr);

  write_graph(graph_text((dir_.path() / "other").string(), "v2"));
  set_mtime(t + std::chrono::seconds(1));
  EXPECT_EQ(get(), nullptr);
  // The cache was emptied: the first graph is read again from disk, not
  // served from memory, when its time comes back.
  write_graph(graph_text(settings_.project_root.string(), "v3"));
  set_mtime(t);
  ASSERT_NE(get(), nullptr);
  EXPECT_EQ((*get())["nodes"][0]["summary"], "v3");
}

TEST_F(InfoGraphCacheTest, LockedRootAcceptsMissingEmptyOrLinkedRoot) {
  lock();
  fs::create_directory_symlink(settings_.project_root, dir_.path() / "link");
  const std::vector<std::string> accepted = {
      R"({"nodes": []})",
      R"({"root": "", "nodes": []})",
      R"({"root": 7, "nodes": []})",
      R"({"root": ")" + (dir_.path() / "link").string() + R"(", "nodes": []})",
      R"({"root": ")" + (dir_.path() / "project" / ".").string() + R"(", "nodes": []})",
  };
  int step = 0;
  for (const std::string& text : accepted) {
    write_graph(text);
    set_mtime(fs::file_time_type(std::chrono::seconds(1000 + ++step)));
    EXPECT_NE(get(), nullptr) << text;
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
