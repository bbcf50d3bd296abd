#include "lumenfold/tsl/test_files.h"

#include <gtest/gtest.h>

namespace lumenfold::tsl {
namespace {

TEST(IsTestFileTest, KnowsTestDirectoriesAndNames) {
  const std::pair<const char*, bool> cases[] = {
      {"sympy/core/tests/test_expr.py", true},
      {"tests/conftest.py", true},
      {"src/testing/helpers.py", true},
      {"web/__tests__/app.tsx", true},
      {"pkg/test_utils.py", true},
      {"pkg/utils_test.go", true},
      {"pkg/app.test.ts", true},
      {"pkg/app.spec.js", true},
      {"django/test/client.py", true},
      {"app/tests.py", true},
      {"conftest.py", true},
      {"src/_pytest/python.py", false},
      {"pkg/contest.py", false},
      {"pkg/latest/util.py", false},
      {"pkg/testutils.py", false},
      {"attestation.md", false},
  };
  for (const auto& [id, expected] : cases) EXPECT_EQ(is_test_file(id), expected) << id;
}

TEST(QueryIsAboutTestsTest, OnlyRequestsWhoseObjectIsATest) {
  const std::pair<const char*, bool> cases[] = {
      {"Add a regression test for the parser", true},
      {"please write unit tests for Ledger", true},
      {"Fix the failing tests in the CI", true},
      {"Improve test coverage of the router", true},
      {"The test suite is slow", true},
      {"Here is a test case that reproduces the crash", false},
      {"pytest fails to collect my module", false},
      {"Tests pass but the output is wrong", false},
  };
  for (const auto& [query, expected] : cases) EXPECT_EQ(query_is_about_tests(query), expected) << query;
}

}  // namespace
}  // namespace lumenfold::tsl
