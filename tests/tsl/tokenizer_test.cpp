#include "lumenfold/tsl/tokenizer.h"

#include <gtest/gtest.h>

namespace lumenfold::tsl {
namespace {

std::string joined(const std::vector<std::string>& terms) {
  std::string out;
  for (const std::string& t : terms) out += (out.empty() ? "" : " ") + t;
  return out;
}

TEST(SplitIdentifierTest, SplitsAtUnderscoresAndCaseSteps) {
  struct Case {
    const char* word;
    std::vector<std::string_view> parts;
  };
  const Case cases[] = {
      {"bulk_create", {"bulk", "create"}},
      {"bulkCreate", {"bulk", "Create"}},
      {"HTTPResponse", {"HTTP", "Response"}},
      {"getHTTPResponseCode", {"get", "HTTP", "Response", "Code"}},
      {"__init__", {"init"}},
      {"FILE_UPLOAD_PERMISSIONS", {"FILE", "UPLOAD", "PERMISSIONS"}},
      {"wcs_pix2world", {"wcs", "pix2world"}},
      {"Base64Encoder", {"Base64", "Encoder"}},
      {"x", {"x"}},
      {"___", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(split_identifier(c.word), c.parts) << c.word;
}

TEST(StemTermTest, FoldsPluralsButKeepsShortAndLatinEndings) {
  const std::pair<const char*, const char*> cases[] = {
      {"permissions", "permission"}, {"queries", "query"}, {"classes", "class"}, {"class", "class"},
      {"status", "status"},          {"axis", "axis"},     {"has", "has"},       {"fields", "field"},
      {"address", "address"},        {"widgets", "widget"}};
  for (const auto& [word, stem] : cases) EXPECT_EQ(stem_term(word), stem) << word;
}

TEST(TokenizeTest, CompoundNamesKeepTheWholeAndTheirParts) {
  EXPECT_EQ(joined(tokenize("QuerySet.bulk_create(objs)")), "query set queryset bulk create bulk_create obj");
  EXPECT_EQ(joined(tokenize("MediaOrderConflictWarning")), "media order conflict warning mediaorderconflictwarning");
  EXPECT_EQ(joined(tokenize("FILE_UPLOAD_PERMISSIONS")), "file upload permission file_upload_permission");
}

TEST(TokenizeTest, PathsAndDottedModulesGiveTheirComponents) {
  EXPECT_EQ(joined(tokenize("django/db/models/query.py")), "django db model query py");
  EXPECT_EQ(joined(tokenize("django.db.models.query")), "django db model query");
  EXPECT_EQ(joined(tokenize(R"(File "C:\proj\src\app_main.py", line 12)")), "file proj src app main app_main py line");
}

TEST(TokenizeTest, DropsStopWordsDigitsAndSingleLetters) {
  EXPECT_EQ(joined(tokenize("The value of x is 42 and self.name was None")), "value name");
  EXPECT_EQ(joined(tokenize("caf\xC3\xA9 na\xC3\xAFve")), "caf na ve");
  EXPECT_TRUE(tokenize("").empty());
}

}  // namespace
}  // namespace lumenfold::tsl
