#include "lumenfold/lodestar/frontend/token_log.h"

#include <gtest/gtest.h>

#include "lumenfold/common/json.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

using lumenfold::testing::TempDir;

constexpr double kNow = 1769850902.0;  // 2026-01-31T09:15:02+00:00

TEST(TokenLogTest, PricesTheWorkedExamples) {
  EXPECT_DOUBLE_EQ(token_cost_usd("claude-opus-4", 1000, 200, 5000, 20000), 0.15375);
  EXPECT_DOUBLE_EQ(token_cost_usd("claude-sonnet-4", 1000, 200, 5000, 20000), 0.03075);
  EXPECT_DOUBLE_EQ(token_cost_usd("Claude-OPUS", 1000000, 0, 0, 0), 15.0);
  EXPECT_DOUBLE_EQ(token_cost_usd("x", 1, 0, 0, 0), 0.000003);
  EXPECT_DOUBLE_EQ(token_cost_usd("x", 1, 1, 0, 0), 0.000018);
}

TEST(TokenLogTest, AppendsOneRecordPerCall) {
  TempDir dir;
  auto log = dir.path() / "token_log.jsonl";
  RouteAnswer a = log_token_usage(
      R"({"model": "claude-opus", "input_tokens": 1000, "output_tokens": 200, "cache_creation_input_tokens": 5000,
          "cache_read_input_tokens": "20000", "project": "p\u00e9", "description": 7, "extra": true})",
      log, kNow);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.content_type, "application/json");
  EXPECT_EQ(a.body, "{\"ok\":true,\"cost_usd\":0.15375}");
  EXPECT_EQ(log_token_usage("{}", log, kNow).body, "{\"ok\":true,\"cost_usd\":0.0}");
  EXPECT_EQ(dir.read("token_log.jsonl"),
            "{\"timestamp\": \"2026-01-31T09:15:02+00:00\", \"model\": \"claude-opus\", \"input_tokens\": 1000, "
            "\"output_tokens\": 200, \"cache_creation_input_tokens\": 5000, \"cache_read_input_tokens\": 20000, "
            "\"total_tokens\": 26200, \"cost_usd\": 0.15375, \"project\": \"p\\u00e9\", \"description\": \"7\", "
            "\"mode\": \"session\"}\n"
            "{\"timestamp\": \"2026-01-31T09:15:02+00:00\", \"model\": \"unknown\", \"input_tokens\": 0, "
            "\"output_tokens\": 0, \"cache_creation_input_tokens\": 0, \"cache_read_input_tokens\": 0, "
            "\"total_tokens\": 0, \"cost_usd\": 0.0, \"project\": \"\", \"description\": \"\", \"mode\": \"session\"}\n");
}

TEST(TokenLogTest, BadInputAnswers400AndLogsNothing) {
  TempDir dir;
  auto log = dir.path() / "token_log.jsonl";
  for (const char* body : {R"({"input_tokens": "twelve"})", R"({"output_tokens": null})", "[1, 2]", "not json", ""}) {
    RouteAnswer a = log_token_usage(body, log, kNow);
    EXPECT_EQ(a.status, 400) << body;
    EXPECT_EQ(a.body, "{\"ok\":false}") << body;
  }
  EXPECT_FALSE(std::filesystem::exists(log));
  // A log that cannot be written is a 400 too.
  EXPECT_EQ(log_token_usage("{}", dir.path() / "missing" / "log.jsonl", kNow).status, 400);
}

TEST(TokenLogTest, CountsWhoseTotalOverflowsAnswer400AndLogNothing) {
  TempDir dir;
  auto log = dir.path() / "token_log.jsonl";
  for (const char* body : {R"({"input_tokens": 9223372036854775807, "output_tokens": 1})",
                           R"({"cache_read_input_tokens": -9223372036854775808, "input_tokens": -1})"}) {
    RouteAnswer a = log_token_usage(body, log, kNow);
    EXPECT_EQ(a.status, 400) << body;
    EXPECT_EQ(a.body, "{\"ok\":false}") << body;
  }
  EXPECT_FALSE(std::filesystem::exists(log));
  EXPECT_EQ(log_token_usage(R"({"input_tokens": 9223372036854775806, "output_tokens": 1})", log, kNow).status, 200);
}

}  // namespace
}  // namespace lumenfold::lodestar
