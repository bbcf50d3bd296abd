#include "lumenfold/lodestar/actions/action_log.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/actions/action_graph.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;

std::string described(const LoggedAction& a) {
  return std::to_string(a.ts) + (a.is_read ? " read " : " other ") + a.file + " | " + a.query;
}

std::vector<std::string> described(std::span<const LoggedAction> actions) {
  std::vector<std::string> out;
  for (const LoggedAction& a : actions) out.push_back(described(a));
  return out;
}

TEST(ActionLogTest, LoggedActionsReadLooselyTypedActionsAsTheEvidenceQueriesDo) {
  Json graph = Json::parse(R"({"actions": [
      {"ts": 5, "kind": "read", "payload": {"kind": "read", "file": "a.py", "query": "why"}},
      {"ts": "7", "kind": "read_cache_hit", "payload": {"file": "b.py::f", "query": null}},
      {"ts": null, "kind": "retrieve", "payload": {"query": 3}},
      {"ts": 9.9, "kind": ["read"], "payload": "not an object"},
      "not an action",
      {"kind": "read", "payload": {"file": false, "query": ""}}]})");
  EXPECT_EQ(described(logged_actions(graph)),
            (std::vector<std::string>{"5 read a.py | why", "7 read b.py::f | ", "0 other  | 3", "9 other  | ",
                                      "0 other  | ", "0 read  | "}));
  EXPECT_TRUE(logged_actions(Json::parse(R"({"actions": {}})")).empty());
}

TEST(ActionLogTest, KeptLogEqualsAFreshOneWhileTheLogRollsOver) {
  for (unsigned seed : {1u, 2u}) {
    std::mt19937 random(seed);
    Json graph = empty_action_graph();
    ActionLog log;
    EXPECT_TRUE(log.actions(graph).empty());
    for (int step = 0; step < 2000; ++step) {
      const std::string n = std::to_string(step);
      append_action(graph, random() % 2 ? "read" : "retrieve", Json{{"file", "f" + n + ".py"}, {"query", "q" + n}},
                    step);
      // Several appends between two looks must work too.
      if (random() % 3 != 0) continue;
      ASSERT_EQ(described(log.actions(graph)), described(logged_actions(graph))) << "seed " << seed << " step " << step;
    }
    ASSERT_EQ(graph["actions"].size(), 300u);
  }
}

TEST(ActionLogTest, ALogReplacedOrEmptiedIsReadAgain) {
  Json graph = empty_action_graph();
  append_action(graph, "read", Json{{"file", "a.py"}}, 1);
  ActionLog log;
  ASSERT_EQ(log.actions(graph).size(), 1u);
  // A new document whose first action differs: nothing kept matches.
  Json other = empty_action_graph();
  append_action(other, "retrieve", Json{{"query", "x"}}, 2);
  append_action(other, "read", Json{{"file", "b.py"}}, 3);
  EXPECT_EQ(described(log.actions(other)), described(logged_actions(other)));
  other["actions"] = Json::array();
  EXPECT_TRUE(log.actions(other).empty());
  other.erase("actions");
  EXPECT_TRUE(log.actions(other).empty());
}

}  // namespace
}  // namespace lumenfold::lodestar
