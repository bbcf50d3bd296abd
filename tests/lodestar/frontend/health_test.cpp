#include "lumenfold/lodestar/frontend/health.h"

#include <gtest/gtest.h>

#include "lumenfold/common/version.h"

namespace lumenfold::lodestar {
namespace {

TEST(HealthTest, NamesRootVersionAndPidInOrder) {
  RouteAnswer answer = health_answer("/home/a \"b\"/proj", 4242);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.content_type, "application/json");
  EXPECT_EQ(answer.body, "{\"ok\":true,\"root\":\"/home/a \\\"b\\\"/proj\",\"version\":\"" +
                             std::string(common::kVersion) + "\",\"pid\":4242}");
}

}  // namespace
}  // namespace lumenfold::lodestar
