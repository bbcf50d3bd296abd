#include "lumenfold/lodestar/graph/edge_index.h"

#include <memory>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {
namespace {

using common::Json;
using Positions = std::vector<uint32_t>;

std::shared_ptr<const Json> graph_of(const char* edges) {
  return std::make_shared<const Json>(Json{{"edges", Json::parse(edges)}});
}

TEST(EdgeIndexTest, EdgesTouchingAFileInTheirOrder) {
  auto graph = graph_of(R"([
      {"from": "a", "to": "b"},
      "not an edge",
      {"from": "c", "to": "a"},
      {"from": "a", "to": "a"},
      {"from": "b", "to": "c"},
      {"to": "a"},
      {"from": 7, "to": "d"}])");
  const Json& edges = (*graph)["edges"];
  EdgeIndex index;
  EXPECT_EQ(index.edges_of(graph, edges, "a"), (Positions{0, 2, 3, 5}));
  EXPECT_EQ(index.edges_of(graph, edges, "b"), (Positions{0, 4}));
  EXPECT_EQ(index.edges_of(graph, edges, "d"), (Positions{6}));
  // Missing and non-text endpoints read as "".
  EXPECT_EQ(index.edges_of(graph, edges, ""), (Positions{5, 6}));
  EXPECT_TRUE(index.edges_of(graph, edges, "zzz").empty());
  EXPECT_TRUE(index.edges_of(graph, edges, "not an edge").empty());
}

TEST(EdgeIndexTest, ANewGraphVersionIsIndexedAgain) {
  EdgeIndex index;
  auto first = graph_of(R"([{"from": "a", "to": "b"}])");
  EXPECT_EQ(index.edges_of(first, (*first)["edges"], "a"), (Positions{0}));
  auto second = graph_of(R"([{"from": "x", "to": "y"}, {"from": "y", "to": "a"}])");
  EXPECT_EQ(index.edges_of(second, (*second)["edges"], "a"), (Positions{1}));
  // The first version released: a graph at the same address is still new.
  first.reset();
  second.reset();
  auto third = graph_of(R"([{"from": "a", "to": "q"}, {"from": "a", "to": "r"}])");
  EXPECT_EQ(index.edges_of(third, (*third)["edges"], "a"), (Positions{0, 1}));
}

}  // namespace
}  // namespace lumenfold::lodestar
