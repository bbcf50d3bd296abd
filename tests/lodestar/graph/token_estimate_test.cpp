#include "lumenfold/lodestar/graph/token_estimate.h"

#include <gtest/gtest.h>

namespace lumenfold::lodestar {
namespace {

TEST(EstTokensTest, CountsFourCharactersPerToken) {
  EXPECT_EQ(est_tokens(""), 0);
  EXPECT_EQ(est_tokens("a"), 1);
  EXPECT_EQ(est_tokens("abcd"), 1);
  EXPECT_EQ(est_tokens("abcdefg"), 1);
  EXPECT_EQ(est_tokens("abcdefgh"), 2);
  EXPECT_EQ(est_tokens("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"), 2);
}

}  // namespace
}  // namespace lumenfold::lodestar
