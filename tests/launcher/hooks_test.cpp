#include "lumenfold/launcher/hooks.h"

#include <string>

#include <gtest/gtest.h>

namespace lumenfold::launcher {
namespace {

std::string prompt(const std::string& text) {
  return R"({"type":"user","message":{"role":"user","content":")" + text + "\"}}\n";
}

std::string tool_result() {
  return R"({"type":"user","message":{"role":"user","content":[{"type":"tool_result","content":"ok"}]}})"
         "\n";
}

// An assistant entry of message `id` with usage input/output/cache creation/cache read.
std::string reply(const std::string& id, const std::string& model, int in, int out, int created, int read) {
  return R"({"type":"assistant","message":{"id":")" + id + R"(","model":")" + model + R"(","usage":{"input_tokens":)" +
         std::to_string(in) + R"(,"output_tokens":)" + std::to_string(out) + R"(,"cache_creation_input_tokens":)" +
         std::to_string(created) + R"(,"cache_read_input_tokens":)" + std::to_string(read) + "}}}\n";
}

TEST(SumTurnUsageTest, SumsTheMessagesOfTheLastTurn) {
  struct Case {
    const char* name;
    std::string transcript;
    TurnUsage expected;
  };
  const Case cases[] = {
      {"one message", prompt("hi") + reply("m1", "opus", 1, 2, 3, 4), {1, 2, 3, 4, "opus"}},
      {"several messages across tool calls",
       prompt("hi") + reply("m1", "opus", 1, 2, 3, 4) + tool_result() + reply("m2", "sonnet", 10, 20, 30, 40),
       {11, 22, 33, 44, "sonnet"}},
      {"earlier turns ignored",
       prompt("a") + reply("m1", "opus", 100, 100, 100, 100) + prompt("b") + reply("m2", "opus", 1, 2, 3, 4),
       {1, 2, 3, 4, "opus"}},
      {"a message written per block counts once, as last written",
       prompt("hi") + reply("m1", "opus", 5, 1, 0, 0) + reply("m1", "opus", 5, 9, 0, 0),
       {5, 9, 0, 0, "opus"}},
      {"lines that are not JSON passed over",
       prompt("hi") + "{torn\n" + reply("m1", "opus", 1, 1, 1, 1),
       {1, 1, 1, 1, "opus"}},
  };
  for (const Case& c : cases) {
    std::optional<TurnUsage> usage = sum_turn_usage(c.transcript);
    ASSERT_TRUE(usage) << c.name;
    EXPECT_EQ(usage->input_tokens, c.expected.input_tokens) << c.name;
    EXPECT_EQ(usage->output_tokens, c.expected.output_tokens) << c.name;
    EXPECT_EQ(usage->cache_creation_input_tokens, c.expected.cache_creation_input_tokens) << c.name;
    EXPECT_EQ(usage->cache_read_input_tokens, c.expected.cache_read_input_tokens) << c.name;
    EXPECT_EQ(usage->model, c.expected.model) << c.name;
  }
}

TEST(SumTurnUsageTest, FindsNothingInATurnWithoutUsage) {
  const std::string cases[] = {
      "",
      prompt("hi"),
      reply("m1", "opus", 1, 2, 3, 4) + prompt("new turn"),
      prompt("hi") + R"({"type":"assistant","message":{"id":"m1","content":"no usage"}})" + "\n",
  };
  for (const std::string& transcript : cases) EXPECT_FALSE(sum_turn_usage(transcript)) << transcript;
}

}  // namespace
}  // namespace lumenfold::launcher
