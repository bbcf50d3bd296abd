#include "lumenfold/lodestar/cache/cache_key.h"

#include <gtest/gtest.h>

namespace lumenfold::lodestar {
namespace {

TEST(CacheKeyTest, QueryKeyAndSizes) {
  EXPECT_EQ(cache_key("Fix the login handler", 5, 12), "login handler|tf=5|te=12");
  EXPECT_EQ(cache_key("LOGIN, login... handler!", 5, 12), "login handler|tf=5|te=12");
  EXPECT_EQ(cache_key("please fix it", 3, 0), "|tf=3|te=0");
  EXPECT_EQ(cache_key("login", -1, 100), "login|tf=-1|te=100");
}

}  // namespace
}  // namespace lumenfold::lodestar
