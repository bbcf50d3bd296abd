#include "lumenfold/tsl/def_index.h"

#include <gtest/gtest.h>

namespace lumenfold::tsl {
namespace {

std::string describe(const std::vector<DefHit>& hits) {
  std::string out;
  for (const DefHit& h : hits) {
    out += std::to_string(h.doc) + (h.kind == DefKind::kClass ? "c" : h.kind == DefKind::kFunction ? "f" : "a") + " ";
  }
  return out;
}

TEST(DefIndexTest, ListsEachDefiningFileOnceWithItsStrongestKind) {
  std::vector<std::vector<SourceDef>> defs = {
      {{"Media", "", DefKind::kAssignment, 0},
       {"Media", "", DefKind::kClass, 5},
       {"render", "Media", DefKind::kFunction, 6}},
      {{"render", "Widget", DefKind::kFunction, 3}, {"Widget", "", DefKind::kClass, 1}},
      {},
      {{"render", "", DefKind::kFunction, 9}},
  };
  DefIndex index(defs);
  EXPECT_EQ(index.doc_count(), 4u);
  EXPECT_EQ(describe(index.definers("Media")), "0c ");
  EXPECT_EQ(describe(index.definers("render")), "0f 1f 3f ");
  EXPECT_EQ(describe(index.definers("media")), "");
  EXPECT_EQ(describe(index.member_definers("Widget", "render")), "1f ");
  EXPECT_EQ(describe(index.member_definers("Media", "render")), "0f ");
  EXPECT_EQ(describe(index.member_definers("Widget", "Media")), "");
}

}  // namespace
}  // namespace lumenfold::tsl
