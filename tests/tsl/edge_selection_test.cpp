#include "lumenfold/tsl/edge_selection.h"

#include <gtest/gtest.h>

#include "tsl_project.h"

namespace lumenfold::tsl {
namespace {

std::vector<std::string> describe(const ProjectIndex& index, const std::vector<uint32_t>& edges) {
  std::vector<std::string> out;
  for (uint32_t e : edges) {
    const CorpusEdge& edge = index.edges()[e].edge;
    out.push_back(edge.from + " -" + edge.rel + "-> " + edge.to);
  }
  return out;
}

class EdgeSelectionTest : public ::testing::Test {
 protected:
  EdgeSelectionTest()
      : project_({
            {"a.py", "import json\nfrom b import x\nfrom c import y\n"},
            {"b.py", "import os\nfrom c import z\n"},
            {"c.py", "import re\n"},
            {"d.py", "from a import q\n"},
        }),
        index_(project_.index()) {}
  uint32_t doc(const char* id) const { return *index_.paths().find(id); }

  TslProject project_;
  ProjectIndex index_;
};

TEST_F(EdgeSelectionTest, BetweenReturnedFilesThenOwnThenIncomingThenOutside) {
  EXPECT_EQ(describe(index_, select_edges(index_, {doc("b.py"), doc("a.py")}, 20)),
            (std::vector<std::string>{
                "a.py -imports-> b",  // between returned files
                "b.py -imports-> c",  // own edges into the project, best file first
                "a.py -imports-> c",
                "d.py -imports-> a",   // into a.py
                "b.py -imports-> os",  // to outside the project, last
                "a.py -imports-> json",
            }));
}

TEST_F(EdgeSelectionTest, StopsAtTheLimit) {
  EXPECT_EQ(describe(index_, select_edges(index_, {doc("b.py"), doc("a.py")}, 2)),
            (std::vector<std::string>{"a.py -imports-> b", "b.py -imports-> c"}));
  EXPECT_TRUE(select_edges(index_, {doc("a.py")}, 0).empty());
  EXPECT_TRUE(select_edges(index_, {}, 5).empty());
}

}  // namespace
}  // namespace lumenfold::tsl
