#include "lumenfold/tsl/mention_scores.h"

#include <gtest/gtest.h>

namespace lumenfold::tsl {
namespace {

class MentionScoresTest : public ::testing::Test {
 protected:
  MentionScoresTest()
      : paths_({
            "pkg/core/expr.py",          // 0
            "pkg/simplify/fu.py",        // 1
            "pkg/simplify/trig.py",      // 2
            "pkg/geometry/__init__.py",  // 3
            "pkg/geometry/point.py",     // 4
            "pkg/other/fu.py",           // 5
            "pkg/misc.py",               // 6
        }),
        defs_({
            {{"Expr", "", DefKind::kClass, 0}, {"__lt__", "Expr", DefKind::kFunction, 4}},
            {{"TR6", "", DefKind::kFunction, 0}},
            {{"trigsimp", "", DefKind::kFunction, 0}},
            {},
            {{"Point", "", DefKind::kClass, 0}, {"distance", "Point", DefKind::kFunction, 3}},
            {},
            {{"distance", "", DefKind::kFunction, 0}},
        }),
        imports_({{}, {}, {}, {4}, {}, {}, {}}) {}

  MentionSignals score(const QueryMentions& m) { return score_mentions(m, paths_, defs_, imports_, 7); }

  PathIndex paths_;
  DefIndex defs_;
  std::vector<std::vector<uint32_t>> imports_;
};

TEST_F(MentionScoresTest, FullPathsOutweighBareNamesAndTheInnermostFrameLeads) {
  QueryMentions m;
  m.paths = {{"/x/pkg/simplify/trig.py", "trigsimp", false},
             {"/x/pkg/simplify/fu.py", "TR6", false},
             {"/x/pkg/core/expr.py", "__lt__", false},
             {"/usr/lib/python3.11/functools.py", "wrapper", false}};
  MentionSignals s = score(m);
  MentionWeights w;
  double framed = w.full_path + w.frame_function_bonus;
  EXPECT_DOUBLE_EQ(s.path[2], framed);
  EXPECT_DOUBLE_EQ(s.path[1], framed);
  EXPECT_DOUBLE_EQ(s.path[0], framed + w.innermost_frame_bonus);
  EXPECT_EQ(s.path[6], 0.0);
  EXPECT_TRUE(s.named[0]);
  EXPECT_FALSE(s.named[6]);
}

TEST_F(MentionScoresTest, BareNamesAreSharedAndForeignPathsIgnored) {
  QueryMentions m;
  m.paths = {{"fu.py", "", true}, {"theirs/app/fu.py", "", false}};
  MentionSignals s = score(m);
  MentionWeights w;
  EXPECT_DOUBLE_EQ(s.path[1], w.bare_name / 2 + w.title_bonus);
  EXPECT_DOUBLE_EQ(s.path[5], w.bare_name / 2 + w.title_bonus);
}

TEST_F(MentionScoresTest, RepeatedFramesAddUpToACap) {
  QueryMentions m;
  for (int i = 0; i < 6; ++i) m.paths.push_back({"pkg/misc.py", "", false});
  MentionSignals s = score(m);
  MentionWeights w;
  EXPECT_DOUBLE_EQ(s.path[6], w.full_path + w.max_repeat_bonus);
}

TEST_F(MentionScoresTest, ModulesPackagesAndTheirAttributes) {
  QueryMentions m;
  m.dotted = {"pkg.geometry.Point", "pkg.simplify.fu", "geometry.distance"};
  MentionSignals s = score(m);
  MentionWeights w;
  EXPECT_DOUBLE_EQ(s.module[1], w.module);                         // the module itself
  EXPECT_DOUBLE_EQ(s.module[4], w.module);                         // defines the package's attribute
  EXPECT_DOUBLE_EQ(s.module[3], w.module * w.package_init_share);  // the package's __init__
  EXPECT_EQ(s.module[6], 0.0);                                     // "geometry" alone names no module
  EXPECT_TRUE(s.named[1]);
  EXPECT_FALSE(s.named[4]);
}

TEST_F(MentionScoresTest, DefinitionsCountByHowFewFilesDefineTheName) {
  QueryMentions m;
  m.names = {{"Point", 1.0, 1}, {"distance", 0.5, 1}, {"unknown_name", 1.0, 3}};
  m.dotted = {"Point.distance"};
  MentionSignals s = score(m);
  EXPECT_GT(s.defs[4], s.defs[6]);
  EXPECT_GT(s.defs[6], 0.0);
  EXPECT_EQ(s.defs[0], 0.0);
  QueryMentions prose;
  prose.names = {{"distance", 0.5, 1}};
  MentionSignals p = score(prose);
  EXPECT_DOUBLE_EQ(p.defs[4], p.defs[6]);
}

}  // namespace
}  // namespace lumenfold::tsl
