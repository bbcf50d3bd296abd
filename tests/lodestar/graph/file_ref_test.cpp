#include "lumenfold/lodestar/graph/file_ref.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lumenfold::lodestar {
namespace {

TEST(IsLocalFileRefTest, AcceptsOnlyProjectFilePaths) {
  struct Case {
    std::string value;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"src/app/main.py", true},
      {"src/app/main.py::handler", true},
      {"src/app/main.py::Outer::inner", true},
      {"main.py", false},
      {"@scope/pkg.js", false},
      {"C:/work/x.js", false},
      {"src/app", false},
      {"lib/Makefile", false},
      {"", false},
      {"src/.env", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_local_file_ref(c.value), c.expected) << c.value;
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
