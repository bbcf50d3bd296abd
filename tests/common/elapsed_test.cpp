#include "lumenfold/common/elapsed.h"

#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace lumenfold::common {
namespace {

constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

TEST(ElapsedMoreThanTest, ComparesTheDistanceExactly) {
  struct Case {
    int64_t then, now, limit;
    bool more;
  };
  const Case cases[] = {
      {100, 1000, 899, true},   {100, 1000, 900, false},   {1000, 100, -901, true}, {1000, 100, -900, false},
      {kMin, 1000, kMax, true}, {kMin, -1, kMax, false},   {kMax, -2, kMin, false}, {kMax, 0, kMin, true},
      {kMin, kMax, kMax, true}, {kMax, kMin, kMin, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(elapsed_more_than(c.then, c.now, c.limit), c.more) << c.then << " " << c.now << " " << c.limit;
  }
}

}  // namespace
}  // namespace lumenfold::common
