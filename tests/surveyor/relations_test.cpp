#include "lumenfold/surveyor/relations.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace lumenfold::surveyor {
namespace {

struct Target {
  std::string rel;
  std::string to;
  bool operator==(const Target&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Target& t) { return out << t.rel << " -> " << t.to; }

struct RelationCase {
  const char* what;
  std::string file;  // relative to the root
  std::string text;
  std::vector<Target> expected;
};

class ParseRelationsTest : public ::testing::Test {
 protected:
  // The edges of `file` (created under the root) with `text`; every edge
  // must come from the file's id.
  std::vector<Target> targets_of(const std::string& file, const std::string& text) {
    std::filesystem::path path = dir_.write(file, text);
    std::vector<Target> targets;
    for (const Edge& edge : parse_relations(path, text, dir_.path())) {
      EXPECT_EQ(edge.from, file);
      targets.push_back({edge.rel, edge.to});
    }
    return targets;
  }

  void expect_cases(const std::vector<RelationCase>& cases) {
    for (const RelationCase& c : cases) {
      EXPECT_EQ(targets_of(c.file, c.text), c.expected) << c.what;
    }
  }

  lumenfold::testing::TempDir dir_;
};

TEST_F(ParseRelationsTest, ImportsAndRequiresAsWritten) {
  expect_cases({
      {"named import", "src/a.ts", "import { api } from '../lib/api';\n", {{"imports", "../lib/api"}}},
      {"default import seen twice",
       "src/b.tsx",
       "import React from 'react';\n",
       {{"imports", "react"}, {"imports", "React"}}},
      {"spaces around the names may span lines",
       "src/c.ts",
       "import\nReact from \"react\"\n",
       {{"imports", "react"}, {"imports", "React"}}},
      {"multi-line import list", "src/d.ts", "import {\n  a,\n  b\n} from 'x';\n", {}},
      {"commonjs require", "src/e.js", "const cfg = require('./config');\n", {{"requires", "./config"}}},
      {"python imports",
       "pkg/f.py",
       "from .models import User\nimport os.path\n",
       {{"imports", "os.path"}, {"imports", ".models"}}},
      {"go import block: every entry, aliased too",
       "cmd/main.go",
       "package main\n\nimport (\n\t\"fmt\"\n\tnet \"net/http\"\n\t_ `os`\n)\n",
       {{"imports", "fmt"}, {"imports", "net/http"}, {"imports", "os"}}},
      {"go single import", "cmd/one.go", "import \"strings\"\n", {{"imports", "strings"}}},
      {"go import in a comment is none", "cmd/two.go", "package x\n// import \"fmt\"\n", {}},
      {"c includes, quoted and angled",
       "src/a.c",
       "#include <stdio.h>\n#include \"lib/util.h\"\n",
       {{"imports", "stdio.h"}, {"imports", "lib/util.h"}}},
      {"c++ include under a conditional",
       "src/b.hpp",
       "#ifdef X\n#include <vector>\n#endif\n",
       {{"imports", "vector"}}},
      {"c++ gets no quoted-import rule", "src/m.cpp", "import \"x.h\";\n", {}},
      {"java imports from the tree alone",
       "src/A.java",
       "import java.util.List;\nimport static java.lang.Math.max;\n",
       {{"imports", "java.util.List"}, {"imports", "java.lang.Math.max"}}},
      {"ruby require is an import",
       "lib/a.rb",
       "require 'json'\nrequire('set')\n",
       {{"imports", "json"}, {"imports", "set"}}},
      {"rust use is an import",
       "src/lib.rs",
       "use std::io;\nmod util;\n",
       {{"imports", "std::io"}, {"imports", "util"}}},
      {"same import twice is kept twice", "g.py", "import os\nimport os\n", {{"imports", "os"}, {"imports", "os"}}},
  });
}

TEST_F(ParseRelationsTest, StepsComeInOrder) {
  expect_cases({
      {"all generic steps",
       "src/all.ts",
       "import \"./polyfill.js\";\nimport React from 'react';\nconst x = require('lodash');\n"
       "from pkg.sub import thing\n",
       {{"imports", "./polyfill.js"},
        {"imports", "react"},
        {"requires", "lodash"},
        {"imports", "React"},
        {"imports", "pkg.sub"},
        {"references", "/polyfill.js"}}},
  });
}

TEST_F(ParseRelationsTest, LanguageRulesTestTheExtensionCaseSensitively) {
  expect_cases({
      {"swift", "App/View.swift", "import UIKit.UIView\n", {{"imports", "UIKit.UIView"}, {"imports", "UIKit"}}},
      {"upper-case swift", "App/Other.SWIFT", "import UIKit.UIView\n", {{"imports", "UIKit.UIView"}}},
      {"c#", "Program.cs", "using System.Text;\n", {{"imports", "System.Text"}}},
      {"upper-case c#", "Other.CS", "using System.Text;\n", {}},
      {"xaml: first class only",
       "Views/Main.xaml",
       "<Window x:Class=\"MyApp.Views.MainWindow\">\n<Page x:Class=\"Other.Page\"/>\n",
       {{"references", "MyApp.Views.MainWindow"}}},
      {"upper-case xaml", "Views/Other.XAML", "<Window x:Class=\"MyApp.Views.MainWindow\">\n", {}},
  });
}

TEST_F(ParseRelationsTest, PathMentionsNeedASlash) {
  expect_cases({
      {"markdown mentions", "docs/index.md", "See docs/setup.md and README.md.\n", {{"references", "docs/setup.md"}}},
      {"web addresses",
       "notes.md",
       "Get http://localhost/scripts/app.py or https://example.com/tools/app.py\n",
       {{"references", "//localhost/scripts/app.py"}, {"references", "com/tools/app.py"}}},
      {"first extension alternative wins",
       "cfg.yaml",
       "load cfg/a.json and ui/b.tsx\n",
       {{"references", "cfg/a.js"}, {"references", "ui/b.ts"}}},
  });
}

TEST_F(ParseRelationsTest, PathologicalTextsFinish) {
  std::string identifier;
  while (identifier.size() < 60000) identifier += "a/";
  std::string imports;
  while (imports.size() < 300000) imports += "import ";
  expect_cases({
      {"long line", "long.ts", std::string(300000, 'a'), {}},
      {"nested braces", "deep.js", std::string(10000, '{') + std::string(10000, '}'), {}},
      {"only quotes", "q.py", std::string(300000, '"'), {}},
      {"only single quotes", "q.ts", std::string(300000, '\''), {}},
      {"only backslashes", "b.cs", std::string(300000, '\\'), {}},
      {"long identifier without extension", "id.md", identifier, {}},
      {"long identifier with extension", "id2.md", identifier + "x.md", {{"references", identifier + "x.md"}}},
      {"repeated import keyword", "imp.ts", imports, {{"imports", "import"}}},
  });
}

}  // namespace
}  // namespace lumenfold::surveyor
