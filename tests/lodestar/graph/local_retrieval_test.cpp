#include "lumenfold/lodestar/graph/local_retrieval.h"

#include <stdexcept>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/graph/info_graph_cache.h"
#include "lumenfold/lodestar/graph/retrieval_module.h"
#include "lumenfold/lodestar/server/settings.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;

// Records what it was given and answers with a fixed value.
class FakeModule : public RetrievalModule {
 public:
  std::optional<Json> retrieve(const Json& graph, std::string_view query, int64_t top_files,
                               int64_t top_edges) override {
    seen_graph = graph.dump();
    seen_call = std::string(query) + "|" + std::to_string(top_files) + "|" + std::to_string(top_edges);
    if (throws) throw std::runtime_error("ranking failed");
    return answer;
  }
  std::string classify_intent(std::string_view query) override { return query == "look around" ? "explore" : "edit"; }

  std::optional<Json> answer;
  bool throws = false;
  std::string seen_graph;
  std::string seen_call;
};

class RankLocalGraphTest : public ::testing::Test {
 protected:
  RankLocalGraphTest() {
    settings_.data_dir = dir_.path();
    settings_.project_root = dir_.path();
    module_.answer = Json::parse(R"({"files": [{"id": "a.py::f", "_score": 2}], "edges": [1], "extra": 0})");
  }
  void write_graph() { dir_.write("info_graph.json", R"({"root": "", "nodes": [{"id": "a.py", "content": "x"}]})"); }
  std::optional<Json> run(RetrievalModule* module) {
    return rank_local_graph(module, cache_, settings_.info_graph_file(), settings_.locked_project_root,
                            "caf\xC3\xA9 login", 5, 12);
  }

  testing::TempDir dir_;
  Settings settings_;
  InfoGraphCache cache_;
  FakeModule module_;
};

TEST_F(RankLocalGraphTest, BuildsTheResultFromTheModuleRanking) {
  write_graph();
  std::optional<Json> out = run(&module_);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->dump(),
            "{\"ok\":true,\"query\":\"caf\xC3\xA9 login\",\"graph_files\":[{\"id\":\"a.py::f\",\"_score\":2}],"
            "\"graph_edges\":[1],\"grep_hits\":[]}");
  EXPECT_EQ(module_.seen_graph, R"({"root":"","nodes":[{"id":"a.py"}]})");
  EXPECT_EQ(module_.seen_call, "caf\xC3\xA9 login|5|12");
}

TEST_F(RankLocalGraphTest, NothingWithoutModuleOrGraph) {
  write_graph();
  EXPECT_FALSE(run(nullptr).has_value());
  std::filesystem::remove(settings_.info_graph_file());
  EXPECT_FALSE(run(&module_).has_value());
  EXPECT_EQ(module_.seen_call, "");
}

TEST_F(RankLocalGraphTest, NothingWhenTheModuleFails) {
  write_graph();
  module_.throws = true;
  EXPECT_FALSE(run(&module_).has_value());
  module_.throws = false;
  for (const char* answer : {"null", "[]", R"({"files": []})", R"({"edges": []})"}) {
    module_.answer = Json::parse(answer);
    EXPECT_FALSE(run(&module_).has_value()) << answer;
  }
  module_.answer.reset();
  EXPECT_FALSE(run(&module_).has_value());
}

TEST(ClassifyIntentTest, GeneralWithoutModule) {
  FakeModule module;
  EXPECT_EQ(classify_intent_or_general(nullptr, "look around"), "general");
  EXPECT_EQ(classify_intent_or_general(&module, "look around"), "explore");
}

}  // namespace
}  // namespace lumenfold::lodestar
