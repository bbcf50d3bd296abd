#include "lumenfold/tsl/path_index.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lumenfold::tsl {
namespace {

class PathIndexTest : public ::testing::Test {
 protected:
  // doc numbers follow this order
  PathIndex index_{{
      "django/db/models/query.py",        // 0
      "django/db/models/sql/query.py",    // 1
      "django/db/models/__init__.py",     // 2
      "django/forms/widgets.py",          // 3
      "django/contrib/admin/widgets.py",  // 4
      "src/_pytest/python.py",            // 5
      "web/src/api/client.ts",            // 6
      "web/src/api/index.ts",             // 7
      "docs/setup.md",                    // 8
  }};
};

TEST_F(PathIndexTest, MatchesTheLongestTrailingComponents) {
  struct Case {
    const char* text;
    std::vector<uint32_t> docs;
    size_t components;
  };
  const Case cases[] = {
      {"/usr/lib/python3/site-packages/django/forms/widgets.py", {3}, 3},
      {"/projects/django/django/forms/widgets.py:145", {3}, 3},
      {"C:\\Python38\\lib\\site-packages\\django\\db\\models\\query.py", {0}, 4},
      {"models/sql/query.py", {1}, 3},
      {"widgets.py", {3, 4}, 1},
      {"~/work/mine/widgets.py", {3, 4}, 1},
      {"query.py:12:5", {0, 1}, 1},
      {"django/forms/fields.py", {}, 0},
  };
  for (const Case& c : cases) {
    PathMatch m = index_.match_path(c.text);
    EXPECT_EQ(m.docs, c.docs) << c.text;
    EXPECT_EQ(m.components, c.components) << c.text;
  }
}

TEST_F(PathIndexTest, MatchesDottedModulesAndPackages) {
  struct Case {
    const char* dotted;
    std::vector<uint32_t> docs;
    size_t components;
  };
  const Case cases[] = {
      {"django.db.models.query.QuerySet", {0}, 4}, {"django.db.models.Q", {2}, 3}, {"models.sql.query", {1}, 3},
      {"_pytest.python.Function", {5}, 2},         {"numpy.array", {}, 0},
  };
  for (const Case& c : cases) {
    PathMatch m = index_.match_module(c.dotted);
    EXPECT_EQ(m.docs, c.docs) << c.dotted;
    EXPECT_EQ(m.components, c.components) << c.dotted;
  }
}

TEST_F(PathIndexTest, MatchesTheTailOfTextsDeeperThanAnyFile) {
  // Thousands of components: only the last few can end a file id.
  std::string deep_path;
  std::string deep_module;
  for (int i = 0; i < 5000; ++i) {
    deep_path += "x/";
    deep_module += "x.";
  }
  EXPECT_EQ(index_.match_path(deep_path + "django/forms/widgets.py").docs, (std::vector<uint32_t>{3}));
  EXPECT_EQ(index_.match_path(deep_path + "widgets.py").components, 1u);
  EXPECT_TRUE(index_.match_path(deep_path + "nothing.py").docs.empty());
  PathMatch module = index_.match_module("django.db.models.query." + deep_module + "x");
  EXPECT_EQ(module.docs, (std::vector<uint32_t>{0}));
  EXPECT_EQ(module.components, 4u);
  EXPECT_TRUE(index_.match_module(deep_module + "django").docs.empty());
}

TEST_F(PathIndexTest, ResolvesImportTargetsToFiles) {
  struct Case {
    uint32_t from;
    const char* target;
    std::optional<uint32_t> doc;
  };
  const Case cases[] = {
      {0, ".sql.query", 1},
      {1, "..query", 0},
      {1, "..", 2},
      {0, "django.forms.widgets", 3},
      {6, "./index", 7},
      {6, "../api/client", 6},
      {6, ".", 7},
      {3, "../../docs/setup.md", 8},
      {3, "../../../outside.md", std::nullopt},
      {3, "docs/setup.md", 8},
      {0, "os.path", std::nullopt},
      {0, "widgets", std::nullopt},
      {5, "....too.far", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(index_.resolve(c.from, c.target), c.doc) << c.from << " " << c.target;
}

TEST_F(PathIndexTest, FindsExactIdsAndDirectories) {
  EXPECT_EQ(index_.find("docs/setup.md"), std::optional<uint32_t>(8));
  EXPECT_EQ(index_.find("setup.md"), std::nullopt);
  EXPECT_EQ(index_.directory_of(1), "django/db/models/sql");
  EXPECT_EQ(PathIndex({"setup.py"}).directory_of(0), "");
}

}  // namespace
}  // namespace lumenfold::tsl
