#include "lumenfold/lodestar/actions/action_graph_text.h"

#include <random>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/actions/action_graph.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;

// One tool call's worth of changes, chosen at random: the mix the server
// makes (nodes, edges past their cap of 500, actions past 300, file
// records and decisions changed in place, non-ASCII text).
void change_at_random(Json& graph, std::mt19937& random, int step) {
  const std::string n = std::to_string(step);
  switch (random() % 5) {
    case 0:
      ensure_node(graph, "query:q" + std::to_string(random() % 40), "query", Json{{"text", "caf\u00e9 " + n}});
      break;
    case 1:
      add_edge(graph, "query:q" + n, "src/f" + std::to_string(random() % 9) + ".py", "read", step);
      break;
    case 2:
      append_action(graph, "read", Json{{"file", "src/a.py"}, {"query", "why " + n}, {"mode", "full"}}, step);
      break;
    case 3:
      graph["files"]["src/f" + std::to_string(random() % 3) + ".py"]["last_ts"] = step;
      break;
    default:
      graph["decisions"].push_back(Json{{"text", "d" + n}});
      if (graph["decisions"].size() > 20) graph["decisions"].erase(graph["decisions"].begin());
      break;
  }
}

TEST(ActionGraphTextTest, EveryRenderEqualsTheWholeLayoutWhileTheListsRollOver) {
  for (unsigned seed : {1u, 2u, 3u}) {
    std::mt19937 random(seed);
    Json graph = empty_action_graph();
    ActionGraphText text;
    EXPECT_EQ(text.render(graph), common::dump_indented(graph));
    for (int step = 0; step < 3500; ++step) {
      change_at_random(graph, random, step);
      // Not every step: several changes between two saves must work too.
      if (step % 3 != 0) continue;
      ASSERT_EQ(text.render(graph), common::dump_indented(graph)) << "seed " << seed << " step " << step;
    }
    ASSERT_EQ(graph["edges"].size(), 500u);
    ASSERT_EQ(graph["actions"].size(), 300u);
  }
}

TEST(ActionGraphTextTest, OddDocumentsAreLaidOutAsAWhole) {
  ActionGraphText text;
  for (const char* doc : {"{}", "[]", "{\"nodes\": []}", "{\"nodes\": [1, \"x\", null, {}], \"edges\": {}}",
                          "{\"actions\": [[1, 2], {\"a\": [{}]}], \"other\": [{\"b\": 1}]}"}) {
    Json graph = Json::parse(doc);
    EXPECT_EQ(text.render(graph), common::dump_indented(graph)) << doc;
    EXPECT_EQ(text.render(graph), common::dump_indented(graph)) << doc << " (again)";
  }
  // A list that is removed and comes back with new elements.
  Json graph = Json::parse(R"({"nodes": [{"id": "a"}, {"id": "b"}]})");
  EXPECT_EQ(text.render(graph), common::dump_indented(graph));
  graph.erase("nodes");
  EXPECT_EQ(text.render(graph), common::dump_indented(graph));
  graph["nodes"] = Json::parse(R"([{"id": "c"}])");
  EXPECT_EQ(text.render(graph), common::dump_indented(graph));
}

TEST(ActionGraphTextTest, ADocumentReadAgainIsLaidOutFromItsOwnElements) {
  ActionGraphText text;
  Json graph = empty_action_graph();
  for (int i = 0; i < 50; ++i) append_action(graph, "read", Json{{"file", "a" + std::to_string(i)}}, i);
  text.render(graph);
  // What the store does when the file changed on disk: the new document's
  // objects may take the addresses the old ones had.
  std::string changed = common::dump_indented(graph);
  for (size_t at = changed.find("\"a"); at != std::string::npos; at = changed.find("\"a", at + 1))
    changed[at + 1] = 'b';
  graph = Json::parse(changed);
  text.clear();
  EXPECT_EQ(text.render(graph), changed);
}

}  // namespace
}  // namespace lumenfold::lodestar
