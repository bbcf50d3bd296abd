// The built-in module as the tool server binds it: settings decide whether
// it exists, and local retrieval hands the cached (content-free) graph to
// it and returns its ranking in the server's result shape.

#include "lumenfold/tsl/local_retrieval_module.h"

#include <map>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/graph/info_graph_cache.h"
#include "lumenfold/lodestar/graph/local_retrieval.h"
#include "lumenfold/lodestar/server/settings.h"
#include "lumenfold/surveyor/graph_documents.h"
#include "lumenfold/surveyor/scan.h"
#include "test_support/temp_dir.h"

namespace lumenfold::tsl {
namespace {

using common::Json;

class RetrievalModuleTest : public ::testing::Test {
 protected:
  RetrievalModuleTest() {
    dir_.write("shop/cart.py", "class Cart:\n    def add_item(self, item):\n        self.items.append(item)\n");
    dir_.write("shop/checkout.py", "from shop.cart import Cart\ndef checkout(cart):\n    return cart.total()\n");
    dir_.write("README.md", "# Shop\nA tiny shop.\n");
    Json graph = surveyor::scan(dir_.path());
    fs_data_ = dir_.path() / ".tessel";
    std::filesystem::create_directories(fs_data_);
    EXPECT_FALSE(surveyor::write_graph_documents(graph, fs_data_ / "info_graph.json",
                                                 surveyor::build_symbol_index(graph["nodes"]),
                                                 fs_data_ / surveyor::kSymbolIndexFileName)
                     .has_value());
  }

  lodestar::Settings settings(std::map<std::string, std::string> env) {
    env["TSL_DATA_DIR"] = fs_data_.string();
    auto lookup = [env](const char* name) -> std::optional<std::string> {
      auto it = env.find(name);
      if (it == env.end()) return std::nullopt;
      return it->second;
    };
    common::Result<lodestar::Settings> s = lodestar::read_settings(lookup, dir_.path(), 0);
    EXPECT_TRUE(s.ok());
    return *s;
  }

  testing::TempDir dir_;
  std::filesystem::path fs_data_;
};

TEST_F(RetrievalModuleTest, LocalRetrievalAnswersWithTheModuleRanking) {
  lodestar::Settings s = settings({});
  std::unique_ptr<lodestar::RetrievalModule> module = make_local_retrieval_module(s.tsl_local_retrieval);
  ASSERT_NE(module, nullptr);
  lodestar::InfoGraphCache graphs;
  std::optional<Json> out = lodestar::rank_local_graph(module.get(), graphs, s.info_graph_file(), s.locked_project_root,
                                                       "Cart.add_item loses items", 5, 12);
  ASSERT_TRUE(out.has_value());
  std::vector<std::string> keys;
  for (auto it = out->begin(); it != out->end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"ok", "query", "graph_files", "graph_edges", "grep_hits"}));
  EXPECT_EQ((*out)["ok"], true);
  EXPECT_EQ((*out)["query"], "Cart.add_item loses items");
  EXPECT_EQ((*out)["grep_hits"], Json::array());
  const Json& files = (*out)["graph_files"];
  ASSERT_FALSE(files.empty());
  EXPECT_EQ(files[0]["id"], "shop/cart.py");
  EXPECT_GE(files[0]["_score"].get<int>(), 10);
  EXPECT_EQ(files[0]["symbols"], Json::parse(R"(["shop/cart.py::Cart"])"));

  // The same as the module's own answer over the server's cached graph.
  Retriever direct;
  Json expected =
      direct.retrieve(*graphs.get(s.info_graph_file(), s.locked_project_root), "Cart.add_item loses items", 5, 12);
  EXPECT_EQ(files, expected["files"]);
  EXPECT_EQ((*out)["graph_edges"], expected["edges"]);
  EXPECT_EQ(lodestar::classify_intent_or_general(module.get(), "How does checkout work?"), "explore");
  EXPECT_EQ(lodestar::classify_intent_or_general(module.get(), "Add a coupon field"), "edit");
}

TEST_F(RetrievalModuleTest, SwitchedOffThereIsNoLocalRetrieval) {
  for (const char* off : {"0", "false", "False"}) {
    lodestar::Settings s = settings({{"TSL_LOCAL_RETRIEVAL", off}});
    std::unique_ptr<lodestar::RetrievalModule> module = make_local_retrieval_module(s.tsl_local_retrieval);
    EXPECT_EQ(module, nullptr) << off;
    lodestar::InfoGraphCache graphs;
    EXPECT_FALSE(lodestar::rank_local_graph(module.get(), graphs, s.info_graph_file(), s.locked_project_root,
                                            "Cart.add_item", 5, 12)
                     .has_value())
        << off;
    EXPECT_EQ(lodestar::classify_intent_or_general(module.get(), "How does checkout work?"), "general");
  }
  for (const char* on : {"1", "yes", "true"}) {
    EXPECT_NE(make_local_retrieval_module(settings({{"TSL_LOCAL_RETRIEVAL", on}}).tsl_local_retrieval), nullptr) << on;
  }
}

TEST_F(RetrievalModuleTest, AGraphThatIsNotAnObjectCannotBeRanked) {
  LocalRetrievalModule module;
  EXPECT_FALSE(module.retrieve(Json::array(), "cart", 5, 12).has_value());
}

}  // namespace
}  // namespace lumenfold::tsl
