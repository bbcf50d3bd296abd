#include "lumenfold/lodestar/server/turn_state.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {
namespace {

TEST(TurnStateTest, ResetClearsTheNineTurnFieldsAndKeepsExploration) {
  TurnState t;
  t.query_key = "auth login";
  t.used_chars = 500;
  t.seen_reads = {{"a.py", "text"}};
  t.reuse_gate_candidates = {"a.py"};
  t.reuse_gate_satisfied = true;
  t.retrieved_files = {"a.py", "b.py"};
  t.retrieve_count = 2;
  t.last_retrieve_out = std::make_shared<const common::Json>(common::Json::object());
  t.fallback_calls = 1;
  t.explore_budget_chars = 36000;
  t.explore_hard_max_chars = 6000;

  t.reset();

  EXPECT_EQ(t.query_key, "");
  EXPECT_EQ(t.used_chars, 0);
  EXPECT_TRUE(t.seen_reads.empty());
  EXPECT_TRUE(t.reuse_gate_candidates.empty());
  EXPECT_FALSE(t.reuse_gate_satisfied);
  EXPECT_TRUE(t.retrieved_files.empty());
  EXPECT_EQ(t.retrieve_count, 0);
  EXPECT_EQ(t.last_retrieve_out, nullptr);
  EXPECT_EQ(t.fallback_calls, 0);
  EXPECT_EQ(t.explore_budget_chars, 36000);
  EXPECT_EQ(t.explore_hard_max_chars, 6000);
}

}  // namespace
}  // namespace lumenfold::lodestar
