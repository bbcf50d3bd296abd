#include "lumenfold/tsl/query_mentions.h"

#include <string>

#include <gtest/gtest.h>

namespace lumenfold::tsl {
namespace {

std::string paths_of(const QueryMentions& m) {
  std::string out;
  for (const PathMention& p : m.paths) out += p.path + "|" + p.function + (p.in_title ? "|title" : "") + "\n";
  return out;
}

std::string names_of(const QueryMentions& m) {
  std::string out;
  for (const NameMention& n : m.names) {
    char weight[16];
    std::snprintf(weight, sizeof weight, "%.1f", n.code_weight);
    out += n.name + ":" + weight + "x" + std::to_string(n.count) + " ";
  }
  return out;
}

std::string dotted_of(const QueryMentions& m) {
  std::string out;
  for (const std::string& d : m.dotted) out += d + " ";
  return out;
}

TEST(FindMentionsTest, StackTraceFramesGiveThePathAndTheFunction) {
  QueryMentions m = find_mentions(
      "Crash in fu.py when simplifying\n"
      "Traceback (most recent call last):\n"
      "  File \"/home/u/site-packages/sympy/simplify/fu.py\", line 566, in TR6\n"
      "  File \"C:\\py\\lib\\trigsimp.py\", line 12, in <lambda>\n"
      "~/src/astropy/wcs/wcs.py in wcs_pix2world(self, *args)\n"
      "/projects/django/forms/widgets.py:145: MediaOrderConflictWarning\n");
  EXPECT_EQ(paths_of(m),
            "fu.py||title\n"
            "/home/u/site-packages/sympy/simplify/fu.py|TR6\n"
            "C:\\py\\lib\\trigsimp.py|\n"
            "~/src/astropy/wcs/wcs.py|wcs_pix2world\n"
            "/projects/django/forms/widgets.py:145|\n");
}

TEST(FindMentionsTest, DottedNamesAndFromImports) {
  QueryMentions m = find_mentions(
      ">>> from django.db.models import Q, F as Field\n"
      "Calling QuerySet.bulk_create on django.db.models.query objects; see docs/index.md and e.g. this.\n");
  EXPECT_EQ(dotted_of(m),
            "django.db.models QuerySet.bulk_create django.db.models.query e.g django.db.models.Q "
            "django.db.models.F ");
}

TEST(FindMentionsTest, CodeShapesCountMoreThanProse) {
  QueryMentions m = find_mentions(
      "The Media class merges js lists when a widget uses `render` and calls get_context(name).\n"
      "```\n"
      "widget = Select(choices)\n"
      "```\n"
      "Nothing here reads like code for sure, or does it.\n");
  // "widget" is prose on the first line and code in the fence; "name" is
  // only ever prose.
  EXPECT_EQ(names_of(m), "Media:0.3x1 widget:0.5x2 render:1.0x1 get_context:1.0x1 Select:1.0x1 choices:0.5x1 ");
}

TEST(FindMentionsTest, NamesTheQueryDeclaresAreItsOwn) {
  QueryMentions m = find_mentions(
      "class ModelA(models.Model):\n"
      "    def save(self): pass\n"
      "obj = ModelA(); obj.save()\n");
  EXPECT_EQ(names_of(m), "models:1.0x1 Model:1.0x1 obj:1.0x2 ");
}

TEST(FindMentionsTest, IndentedProseIsNotCode) {
  QueryMentions m = find_mentions("\tWhen the value is converted by the serializer we lose data.\n");
  EXPECT_EQ(names_of(m), "");
  EXPECT_EQ(paths_of(m), "");
  EXPECT_EQ(dotted_of(m), "");
}

TEST(FindMentionsTest, BackticksCountAcrossAVeryLongLine) {
  std::string line;
  for (int i = 0; i < 20000; ++i) line += "a b ";
  line += "`render` after `ticks` Plain and `opened";
  EXPECT_EQ(names_of(find_mentions(line)), "render:1.0x1 ticks:1.0x1 Plain:0.3x1 opened:1.0x1 ");
}

TEST(FindMentionsTest, ManyPathsKeepTheirDottedNamesApart) {
  std::string query = "Broken django.forms.py\n";
  for (int i = 0; i < 2000; ++i) query += "see django.forms.py and a.b ";
  QueryMentions m = find_mentions(query);
  ASSERT_EQ(m.paths.size(), 2001u);
  EXPECT_TRUE(m.paths.front().in_title);
  EXPECT_FALSE(m.paths.back().in_title);
  // "django.forms" inside each path is the path, not a module.
  EXPECT_EQ(dotted_of(m), "a.b ");
}

}  // namespace
}  // namespace lumenfold::tsl
