#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lumenfold/surveyor/symbols.h"

namespace lumenfold::surveyor {
namespace {

using Words = std::vector<std::string>;

TEST(SplitCamelTest, SplitsAtCaseChangesAndDropsShortParts) {
  struct Case {
    const char* name;
    Words parts;
  };
  const Case cases[] = {
      {"getHTTPResponse", {"get", "http", "response"}},
      {"toJSON", {"json"}},
      {"get_user_name", {"get_user_name"}},
      {"handleLogin", {"handle", "login"}},
      {"__init__", {"__init__"}},
      {"XMLHttpRequest2Go", {"xml", "http", "request2"}},
      {"getÄrger", {"getärger"}},  // only ASCII capitals start a part
      {"aBÖ", {}},                 // "BÖ" is two characters, though three bytes
      {"", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(split_camel(c.name), c.parts) << c.name;
  }
}

TEST(NameKeywordsTest, WholeNameThenCamelThenSnakePartsWithoutRepeats) {
  struct Case {
    const char* name;
    Words words;
  };
  const Case cases[] = {
      {"handleLogin", {"handlelogin", "handle", "login"}},
      {"get_user_name", {"get_user_name", "get", "user", "name"}},
      {"__init__", {"init"}},
      {"getHTTPResponse", {"gethttpresponse", "get", "http", "response"}},
      {"_Cache", {"cache"}},
      {"aBÖ", {"abö"}},
      {"Öü", {}},
      {"alpha_bravo_charlie_delta_echo_foxtrot_golf_hotel_india_juliet_kilo",
       {"alpha_bravo_charlie_delta_echo_foxtrot_golf_hotel_india_juliet_kilo", "alpha", "bravo", "charlie", "delta",
        "echo", "foxtrot", "golf", "hotel", "india"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(name_keywords(c.name), c.words) << c.name;
  }
}

}  // namespace
}  // namespace lumenfold::surveyor
