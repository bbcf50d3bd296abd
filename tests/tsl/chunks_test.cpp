#include "lumenfold/tsl/chunks.h"

#include <gtest/gtest.h>

namespace lumenfold::tsl {
namespace {

std::string describe(const std::vector<Chunk>& chunks) {
  std::string out;
  for (const Chunk& c : chunks) out += "[" + (c.def ? c.def->name : std::string("-")) + "]" + std::string(c.text);
  return out;
}

TEST(SplitIntoChunksTest, CutsAtClassesAndFunctionsButNotAssignments) {
  std::string text =
      "import os\n"
      "LIMIT = 3\n"
      "class A:\n"
      "    x = 1\n"
      "    def run(self):\n"
      "        pass\n"
      "def main():\n"
      "    A().run()";
  std::vector<SourceDef> defs = extract_source_defs(text, ".py");
  EXPECT_EQ(describe(split_into_chunks(text, defs)),
            "[-]import os\nLIMIT = 3\n"
            "[A]class A:\n    x = 1\n"
            "[run]    def run(self):\n        pass\n"
            "[main]def main():\n    A().run()");
}

TEST(SplitIntoChunksTest, WholeTextWithoutDefinitionsAndNoEmptyHead) {
  EXPECT_EQ(describe(split_into_chunks("just text\n", {})), "[-]just text\n");
  EXPECT_EQ(describe(split_into_chunks("", {})), "");
  std::string text = "def f():\n    return 1\n";
  std::vector<SourceDef> defs = extract_source_defs(text, ".py");
  EXPECT_EQ(describe(split_into_chunks(text, defs)), "[f]def f():\n    return 1\n");
}

}  // namespace
}  // namespace lumenfold::tsl
