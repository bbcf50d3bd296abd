#include "lumenfold/tsl/score_bands.h"

#include <gtest/gtest.h>

namespace lumenfold::tsl {
namespace {

TEST(ConfidenceScoresTest, TopFileBandFollowsItsLeadAndStrength) {
  struct Case {
    std::vector<double> scores;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {{4.0, 3.0}, {10, 6}},   // a lead of 1.0: almost sure
      {{4.5, 2.0}, {13, 4}},   // each further half lead adds a point
      {{30.0, 1.0}, {20, 0}},  // capped at 20
      {{2.0, 1.5}, {7, 5}},    // a close race is plausible
      {{2.0, 1.99}, {4, 3}},
      {{1.1, 0.9}, {3, 2}},  // a weak best match stays weak
      {{0.3, 0.29}, {1, 0}},
      {{2.5}, {13}},  // the only match leads by its whole score
      {{}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(confidence_scores(c.scores), c.expected) << c.scores.size();
}

TEST(ConfidenceScoresTest, NeverRisesDownTheRanking) {
  std::vector<int> out = confidence_scores({5.0, 3.9, 3.9, 2.0, 0.0});
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(out[0], 10);
  for (size_t i = 1; i < out.size(); ++i) EXPECT_LE(out[i], out[i - 1]);
  EXPECT_LE(out[1], 9);
  EXPECT_EQ(out[4], 0);
}

}  // namespace
}  // namespace lumenfold::tsl
