#include "lumenfold/lodestar/graph/query_terms.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lumenfold::lodestar {
namespace {

using Terms = std::vector<std::string>;

TEST(QueryTermsTest, FollowsTheWordRules) {
  struct Case {
    std::string query;
    Terms terms;
  };
  const std::vector<Case> cases = {
      {"Please fix the login_handler in auth.py", {"login_handler", "auth"}},
      {"please fix the in on it", {}},
      {"a b cd ?? !!", {}},
      {"", {}},
      {"cache Cache CACHE", {"cache"}},
      {"one1 two2 three four five six seven eight nine ten",
       {"one1", "two2", "three", "four", "five", "six", "seven", "eight"}},
      {"na\xC3\xAFve", {}},                            // the non-ASCII letter splits the word
      {"\xC3\x89tude caf\xC3\xA9s", {"tude", "caf"}},  // lower-cased, then split at non-ASCII
      {"Parse_JSON-file 123 x_y", {"parse_json", "file", "123", "x_y"}},
      {"update the README for use", {"readme"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(query_terms(c.query), c.terms) << c.query;
  }
}

TEST(QueryKeyTest, JoinsTermsInOrderOfAppearance) {
  EXPECT_EQ(query_key("Please fix the login_handler in auth.py"), "login_handler auth");
  EXPECT_EQ(query_key("auth then login"), "auth then login");
  EXPECT_EQ(query_key("login auth"), "login auth");  // not sorted
  EXPECT_EQ(query_key("the fix"), "");
}

}  // namespace
}  // namespace lumenfold::lodestar
