#include "lumenfold/tsl/term_index.h"

#include <cmath>

#include <gtest/gtest.h>

namespace lumenfold::tsl {
namespace {

// Three documents: the term "ledger" once in doc 0's path, once in doc 1's
// text, and doc 2 without it but long.
TermIndex make_index(const Bm25Params& params) {
  TermIndex index(params);
  index.begin_doc();
  index.add(kPathField, "ledger");
  index.add(kTextField, "balance");
  index.end_doc();
  index.begin_doc();
  index.add(kPathField, "util");
  index.add(kTextField, "ledger");
  index.add(kTextField, "balance");
  index.end_doc();
  index.begin_doc();
  index.add(kPathField, "other");
  for (int i = 0; i < 20; ++i) index.add(kTextField, "noise");
  index.end_doc();
  index.finish();
  return index;
}

TEST(TermIndexTest, CountsDocumentFrequencyAndIdf) {
  TermIndex index = make_index(default_bm25_params());
  EXPECT_EQ(index.doc_count(), 3u);
  EXPECT_EQ(index.doc_frequency("ledger"), 2u);
  EXPECT_EQ(index.doc_frequency("absent"), 0u);
  EXPECT_DOUBLE_EQ(index.idf("ledger"), std::log(1.0 + (3 - 2 + 0.5) / (2 + 0.5)));
  EXPECT_EQ(index.idf("absent"), 0.0);
}

TEST(TermIndexTest, APathMentionOutweighsATextMention) {
  TermIndex index = make_index(default_bm25_params());
  std::vector<double> scores(3, 0);
  index.score({{"ledger", 1.0}}, scores);
  EXPECT_GT(scores[0], scores[1]);
  EXPECT_GT(scores[1], 0.0);
  EXPECT_EQ(scores[2], 0.0);
}

TEST(TermIndexTest, FieldWeightsDecideBetweenFields) {
  Bm25Params text_only = default_bm25_params();
  text_only.fields[kPathField].weight = 0.0;
  TermIndex index = make_index(text_only);
  std::vector<double> scores(3, 0);
  index.score({{"ledger", 1.0}}, scores);
  EXPECT_EQ(scores[0], 0.0);
  EXPECT_GT(scores[1], 0.0);
}

TEST(TermIndexTest, ScoresAddUpOverTermsAndScaleWithQueryWeight) {
  TermIndex index = make_index(default_bm25_params());
  std::vector<double> once(3, 0);
  index.score({{"balance", 1.0}}, once);
  std::vector<double> twice(3, 0);
  index.score({{"balance", 2.0}}, twice);
  EXPECT_DOUBLE_EQ(twice[1], 2 * once[1]);
  std::vector<double> both(3, 0);
  index.score({{"balance", 1.0}, {"ledger", 1.0}, {"unknown", 5.0}}, both);
  std::vector<double> ledger(3, 0);
  index.score({{"ledger", 1.0}}, ledger);
  EXPECT_DOUBLE_EQ(both[1], once[1] + ledger[1]);
}

}  // namespace
}  // namespace lumenfold::tsl
