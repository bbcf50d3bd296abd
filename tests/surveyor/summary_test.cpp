#include "lumenfold/surveyor/summary.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lumenfold/common/utf8.h"

namespace lumenfold::surveyor {
namespace {

struct SummaryCase {
  const char* what;
  std::string content;
  std::string path;
  std::string ext;
  std::string expected;
};

void expect_cases(const std::vector<SummaryCase>& cases) {
  for (const SummaryCase& c : cases) {
    EXPECT_EQ(make_summary(c.content, c.path, c.ext), c.expected) << c.what;
  }
}

std::string repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(MakeSummaryTest, DocCommentsComeFirst) {
  expect_cases({
      {"py docstring, whitespace collapsed",
       "\"\"\"\n  Billing   helpers\n for invoices.\n\"\"\"\ndef pay():\n    pass\n", "billing/helpers.py", ".py",
       "Billing helpers for invoices. Contains 1 function: pay."},
      {"py single-quoted docstring", "'''Token refresh logic'''\n", "auth.py", ".py", "Token refresh logic."},
      {"py docstring too short falls back to the line", "\"\"\"Tiny\"\"\"\n", "t.py", ".py", "\"\"\"Tiny\"\"\"."},
      {"js doc comment, stars removed",
       "/**\n * Session store for the\n * web client.\n */\nexport function load() {}\n", "src/session.ts", ".ts",
       "Session store for the web client. Contains 1 function: load."},
      {"js doc comment must open the file", "const x = 1;\n/** late doc comment here */\n", "src/late.js", ".js",
       "const x = 1;."},
      {"empty doc comment falls back to lines", "/** */\n// Fallback line here\n", "a/b.tsx", ".tsx",
       "Fallback line here."},
      {"other languages take the comment line as it is", "/* Package server runs things */\npackage server\n",
       "server/server.go", ".go", "* Package server runs things */."},
  });
}

TEST(MakeSummaryTest, FirstSubstantialLineIsTheSentence) {
  expect_cases({
      {"three-character comment skipped", "#ab\nimport json\n", "tools/x.py", ".py", "import json."},
      {"readme heading", "# Project Setup Guide\n\nInstall the tools first.\n", "README.md", ".md",
       "Project Setup Guide."},
      {"hashes then slashes", "#// mixed prefix line\n", "n.md", ".md", "mixed prefix line."},
      {"slashes before hashes stay", "/# not stripped line\n", "n.md", ".md", "# not stripped line."},
      {"trailing dots become one", "Ends with dots...\n", "n.yaml", ".yaml", "Ends with dots."},
      {"only the first five lines", "a\nb\nc\nd\ne\nthis sixth line is long\n", "docs/notes.md", ".md",
       "Handles docs notes."},
      {"any line boundary splits", "short\x0bsecond line is long\n", "n.md", ".md", "second line is long."},
  });
}

TEST(MakeSummaryTest, DomainComesFromThePathWhenThereIsNoSentence) {
  expect_cases({
      {"index keeps its extension until the end", "", "src/index.ts", ".ts", "Handles index."},
      {"last two pieces with separators as spaces", "", "src/auth/login_handler.py", ".py",
       "Handles auth login handler."},
      {"generic pieces dropped", "", "app/main.go", ".go", "Handles main."},
      {"all generic: last piece unchanged", "", "lib/src/Index", "", "Handles Index."},
      {"dashes and underscores", "", "./pkg/user-profile/api_v2.ts", ".ts", "Handles user profile api v2."},
      {"backslash separators", "", "src\\billing\\Invoice.cs", ".cs", "Handles billing Invoice."},
      {"only the last extension goes", "", "a/b.c/.env", "", "Handles b.c."},
      {"generic piece alone", "", "src/", "", "Handles src."},
      {"no path, no sentence", "", "", "", ""},
  });
}

TEST(MakeSummaryTest, NamesAreListedUpToFive) {
  expect_cases({
      {"two names with a domain", "def go():\n  x\nclass U:\n  y\n", "src/auth/login_handler.py", ".py",
       "Handles auth login handler. Contains 2 functions/classes: go, U."},
      {"private py names skipped", "def _a():\n  x\ndef b():\n", "x.py", ".py", "Handles x. Contains 1 function: b."},
      {"six exported functions",
       "export function a() {}\nexport function b() {}\nexport function c() {}\n"
       "export function d() {}\nexport function e() {}\nexport function f() {}\n",
       "src/fns.ts", ".ts", "export function a() {}. Contains 5 functions/classes: a, b, c, d, ...."},
      {"nested, classes, no repeats", "  function a(){}\nclass B {}\nfunction a(){}\n", "s/x.js", ".js",
       "function a(){}. Contains 2 functions/classes: a, B."},
      {"cs declarations", "public class Foo {}\ninterface IBar {}\n", "Foo.cs", ".cs",
       "public class Foo {}. Contains 2 functions/classes: Foo, IBar."},
      {"xaml first class only",
       "<Window x:Class=\"A.B.Main\" x:Class=\"A.B.Other\">\n<Grid x:Name=\"Root\"/>\n"
       "<Grid x:Name=\"Root\"/>\n",
       "Main.xaml", ".xaml",
       "<Window x:Class=\"A.B.Main\" x:Class=\"A.B.Other\">. Contains 2 functions/classes: "
       "Main, Root."},
      {"no names for other languages", "func Main() {}\n", "cmd/run.go", ".go", "func Main() {}."},
  });
}

TEST(MakeSummaryTest, CapsCountCodePoints) {
  EXPECT_EQ(make_summary(repeat("é", 130) + "\n", "n.md", ".md"), repeat("é", 120) + ".");

  std::string content = "\"\"\"" + repeat("é", 130) + "\"\"\"\n";
  for (char first : std::string("abcdef")) {
    content += std::string("def ") + first + repeat("é", 59) + "():\n";
  }
  std::string summary = make_summary(content, "long.py", ".py");
  EXPECT_EQ(summary,
            repeat("é", 120) + ". Contains 5 functions/classes: a" + repeat("é", 59) + ", b" + repeat("é", 35));
  EXPECT_EQ(common::code_point_count(summary), 250u);
}

TEST(MakeSummaryTest, PathologicalTextsFinish) {
  expect_cases({
      {"nested braces", std::string(10000, '{') + std::string(10000, '}'), "src/deep.ts", ".ts",
       std::string(120, '{') + "."},
      {"only quotes", std::string(300000, '"'), "q.py", ".py", std::string(120, '"') + "."},
      {"only single quotes", std::string(300000, '\''), "q.py", ".py", std::string(120, '\'') + "."},
      {"only backslashes", std::string(300000, '\\'), "b.js", ".js", std::string(120, '\\') + "."},
      {"unclosed comment of spaces", "/*" + std::string(300000, ' '), "src/open_comment.ts", ".ts",
       "Handles open comment."},
      {"unclosed doc comment", "/**" + std::string(300000, 'a'), "src/open.ts", ".ts",
       "**" + std::string(118, 'a') + "."},
  });
}

}  // namespace
}  // namespace lumenfold::surveyor
