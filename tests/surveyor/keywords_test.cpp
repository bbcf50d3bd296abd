#include "lumenfold/surveyor/keywords.h"

#include <array>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lumenfold/common/regex.h"
#include "lumenfold/common/text_case.h"

namespace lumenfold::surveyor {
namespace {

using Words = std::vector<std::string>;

struct KeywordCase {
  const char* what;
  std::string content;
  std::string ext;
  Words expected;
};

void expect_cases(const std::vector<KeywordCase>& cases) {
  for (const KeywordCase& c : cases) {
    EXPECT_EQ(extract_keywords(c.content, c.ext), c.expected) << c.what;
  }
}

TEST(ExtractKeywordsTest, RoutesGiveMethodAndPathSegments) {
  expect_cases({
      {"express route; id is too short", "app.get('/api/users/:id', show);\n", ".js", {"get", "api", "users"}},
      {"go mux, braces removed",
       "r.HandleFunc(\"/orders/{orderId}\", h)\n",
       ".go",
       {"handlefunc", "orders", "orderid"}},
      {"any receiver ending in a listed name",
       "ROUTER . Delete ( \"/Carts/<cartKey>/\")",
       ".txt",
       {"delete", "carts", "cartkey"}},
      {"decorator on another object", "@bp.get('/health/check')\ndef h(): pass\n", ".md", {"get", "health", "check"}},
      {"segments stripped of underscores, lengths in code points",
       "app.post('/__Private__/ñá/été')",
       ".js",
       {"post", "private", "été"}},
  });
}

TEST(ExtractKeywordsTest, HttpCallsGiveHostLabelAndPathSegments) {
  expect_cases({
      {"query string stays glued; v1 too short",
       "fetch('https://api.example.com/v1/orders?limit=5')",
       ".ts",
       {"api", "orderslimit5"}},
      {"relative path, file name cut at its dot", "axios.get(`/users/{id}/profile.json`)", ".js", {"users", "profile"}},
      {"scheme removal is case-sensitive",
       "requests.post(\"HTTPS://Files.example.com/docs\")",
       ".py",
       {"https:", "files", "docs"}},
      {"only fetch, axios and requests", "client.get('/ignored/path')", ".js", {}},
  });
}

TEST(ExtractKeywordsTest, DeclaredNamesFollowTheExtension) {
  expect_cases({
      {"ts exports and export list",
       "export async function getUserProfile() {}\nexport { alphaBeta, gamma as delta };\n",
       ".ts",
       {"getuserprofile", "get", "user", "profile", "alphabeta", "alpha", "beta", "gamma", "delta"}},
      {"ts names only from exports", "function hiddenHelper() {}\n", ".ts", {}},
      {"py public defs and classes with snake parts",
       "def load_user_data():\n    def inner_helper(): pass\nclass _Hidden:\n    pass\n"
       "async def fetch_all():\n    pass\n",
       ".py",
       {"load_user_data", "load", "user", "data", "fetch_all", "fetch", "all"}},
      {"go exported funcs and methods only",
       "func (s *Server) HandleLogin(w int) {}\nfunc helper() {}\n",
       ".go",
       {"handlelogin", "handle", "login"}},
      {"swift types then funcs",
       "    func loadData() {}\npublic final class ProfileView {\n}\n",
       ".swift",
       {"profileview", "profile", "view", "loaddata", "load", "data"}},
      {"cs types then methods",
       "public sealed class OrderService\n{\n  private async Task<Order> LoadAsync(int id)\n",
       ".cs",
       {"orderservice", "order", "service", "loadasync", "load", "async"}},
      {"xaml class after the last dot, then names",
       "<Window x:Class=\"MyApp.Views.MainWindow\">\n<Button x:Name=\"SubmitButton\"/>\n",
       ".xaml",
       {"mainwindow", "main", "window", "submitbutton", "submit", "button"}},
      {"other extensions declare nothing", "export function visibleName() {}\n", ".md", {}},
  });
}

TEST(ExtractKeywordsTest, SwiftDeclarationsSpanModifiersAndLines) {
  expect_cases({
      {"modifiers, indentation and line breaks",
       "public final class Alpha {}\n  public func beta() {}\npublic\nstatic\nfunc gamma() {}\n"
       "class Delta: E {}\nfunc\n  epsilon() {}\n",
       ".swift",
       {"alpha", "delta", "beta", "gamma", "epsilon"}},
  });
  std::string modifier_lines;
  while (modifier_lines.size() < 300000) modifier_lines += "public\n";
  expect_cases({
      {"many modifier lines, then a func", modifier_lines + "func tail() {}\n", ".swift", {"tail"}},
      {"many modifier lines, no name", modifier_lines + "func (\nclass ;\n", ".swift", {}},
  });
}

// Swift names are found line by line; they must be exactly the matches of a
// plain left-to-right search with the same patterns.
TEST(ExtractKeywordsTest, SwiftNamesAgreeWithAPlainSearch) {
  const common::Regex types(
      R"re(^(?:public\s+|private\s+|internal\s+|open\s+|final\s+)*(?:class|struct|enum|protocol|actor|extension)\s+([A-Za-z_]\w*))re",
      common::kRegexMultiline);
  const common::Regex funcs(
      R"re(^(?:\s*)(?:public\s+|private\s+|internal\s+|open\s+|static\s+|class\s+|mutating\s+|override\s+)*func\s+([A-Za-z_]\w*))re",
      common::kRegexMultiline);
  const std::array<std::string_view, 22> pieces = {
      "public", "final", "static", "class", "struct", "func", "func", "mutating", "alpha",  "beta",   "gamma",
      "é",      " ",     " ",      " ",     "\n",     "\n",   "\t",   "(",        "\u00a0", "\u0085", "\u3000",
  };
  std::mt19937 rng(7);
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 60);
  int texts_with_names = 0;
  for (int round = 0; round < 5000; ++round) {
    std::string text;
    for (int n = length(rng); n > 0; --n) text += pieces[pick(rng)];
    Words expected;
    for (const common::Regex* re : {&types, &funcs}) {
      for (const common::RegexMatch& m : re->find_all(text).matches) {
        std::string name(m.group(1));
        if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
          expected.push_back(name);
        }
      }
    }
    if (!expected.empty()) ++texts_with_names;
    ASSERT_EQ(extract_keywords(text, ".swift"), expected) << text;
  }
  EXPECT_GT(texts_with_names, 1000);
}

TEST(ExtractKeywordsTest, GoReceiversMaySpanLines) {
  std::string open_receivers;
  while (open_receivers.size() < 300000) open_receivers += "func (\n";
  expect_cases({
      {"receiver over lines", "func (s\n *Server)\n\tServe() {}\n", ".go", {"serve"}},
      {"empty receiver", "func () Hidden() {}\n", ".go", {}},
      {"method name must follow the receiver", "func (s *S) lower() {}\nfunc (s *S)Upper()", ".go", {}},
      {"many open receivers, no name", open_receivers + ")\n", ".go", {}},
      {"many open receivers, then a name", open_receivers + ") Tail()\n", ".go", {"tail"}},
  });
}

// Go names are found line by line; they must be exactly the matches of a
// plain left-to-right search with the same pattern. Every name piece ends in
// a character outside \w, so the captured names are whole pieces.
TEST(ExtractKeywordsTest, GoNamesAgreeWithAPlainSearch) {
  const common::Regex funcs(R"re(^func\s+(?:\([^)]+\)\s+)?([A-Z]\w*))re", common::kRegexMultiline);
  const std::array<std::string_view, 18> pieces = {
      "\nfunc ", "\nfunc (", "func",  " ",     "\n",   "\t", "(",    ")",      ") ",
      "Foo(",    "Bar ",     "Qux\n", "Zéta(", "low ", "é",  "s *S", "\u00a0", "\u2003",
  };
  std::mt19937 rng(11);
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 40);
  int texts_with_names = 0;
  for (int round = 0; round < 5000; ++round) {
    std::string text;
    for (int n = length(rng); n > 0; --n) text += pieces[pick(rng)];
    Words expected;
    for (const common::RegexMatch& m : funcs.find_all(text).matches) {
      std::string name = common::to_lower(m.group(1));
      if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
        expected.push_back(name);
      }
    }
    if (!expected.empty()) ++texts_with_names;
    ASSERT_EQ(extract_keywords(text, ".go"), expected) << text;
  }
  EXPECT_GT(texts_with_names, 1000);
}

TEST(ExtractKeywordsTest, LeadingDocumentationGivesLongWords) {
  expect_cases({
      {"docstring",
       "\n\"\"\"Handles billing invoices for customers.\"\"\"\n",
       ".md",
       {"handles", "billing", "invoices", "customers"}},
      {"block comment stops at a star",
       "/** Parses config files quickly */\n",
       ".yaml",
       {"parses", "config", "files", "quickly"}},
      {"in any kind of file", "\"\"\"Words from docstring\"\"\"", ".txt", {"words", "from", "docstring"}},
      {"not at the start", "x = 1\n\"\"\"Not leading documentation\"\"\"\n", ".py", {}},
      {"too short", "/** Tiny */\n", ".js", {}},
  });
}

TEST(ExtractKeywordsTest, SourcesComeInOrderWithoutDuplicates) {
  std::string content =
      "/** Orders service entry point */\n"
      "export function listOrders() {}\n"
      "app.get('/orders/list', listOrders);\n"
      "fetch('/api/orders');\n";
  EXPECT_EQ(extract_keywords(content, ".ts"),
            (Words{"get", "orders", "list", "listorders", "service", "entry", "point", "api"}));
}

TEST(ExtractKeywordsTest, KeepsTheFirstEightyWords) {
  std::string content;
  for (int i = 0; i < 100; ++i) content += "def kw" + std::to_string(1000 + i) + "():\n";
  Words words = extract_keywords(content, ".py");
  ASSERT_EQ(words.size(), 80u);
  EXPECT_EQ(words.front(), "kw1000");
  EXPECT_EQ(words.back(), "kw1079");
}

TEST(ExtractKeywordsTest, WordsAreLowerCaseDistinctAndLongEnough) {
  std::string content =
      "export class HTTPServer {}\nexport const HttpServer = 1;\nexport type IDs = string[];\n"
      "app.get('/HTTP/Server/A_/__x__')\n";
  Words words = extract_keywords(content, ".tsx");
  EXPECT_EQ(words, (Words{"get", "http", "server", "httpserver", "ids"}));
  std::set<std::string> distinct(words.begin(), words.end());
  EXPECT_EQ(distinct.size(), words.size());
}

TEST(ExtractKeywordsTest, PathologicalTextsFinish) {
  const std::vector<KeywordCase> cases = {
      {"long line", std::string(300000, 'a'), ".ts", {}},
      {"nested braces", std::string(10000, '{') + std::string(10000, '}'), ".js", {}},
      {"only quotes", std::string(300000, '"'), ".py", {}},
      {"only single quotes", std::string(300000, '\''), ".py", {}},
      {"only backslashes", std::string(300000, '\\'), ".cs", {}},
      {"long identifier", "export const " + std::string(60000, 'x') + " = 1;\n", ".ts", {std::string(60000, 'x')}},
  };
  expect_cases(cases);
  std::string routes;
  while (routes.size() < 300000) routes += "app.get('/";
  EXPECT_EQ(extract_keywords(routes, ".js"), (Words{"get", "app.get("}));
}

}  // namespace
}  // namespace lumenfold::surveyor
