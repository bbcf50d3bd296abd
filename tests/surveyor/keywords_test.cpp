#include "lumenfold/surveyor/keywords.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

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
      {"express route; id is too short", "app.get('/api/users/:id', show);\n", ".js",
       {"get", "api", "users"}},
      {"go mux, braces removed", "r.HandleFunc(\"/orders/{orderId}\", h)\n", ".go",
       {"handlefunc", "orders", "orderid"}},
      {"any receiver ending in a listed name", "ROUTER . Delete ( \"/Carts/<cartKey>/\")", ".txt",
       {"delete", "carts", "cartkey"}},
      {"decorator on another object", "@bp.get('/health/check')\ndef h(): pass\n", ".md",
       {"get", "health", "check"}},
      {"segments stripped of underscores, lengths in code points",
       "app.post('/__Private__/ñá/été')", ".js", {"post", "private", "été"}},
  });
}

TEST(ExtractKeywordsTest, HttpCallsGiveHostLabelAndPathSegments) {
  expect_cases({
      {"query string stays glued; v1 too short",
       "fetch('https://api.example.com/v1/orders?limit=5')", ".ts", {"api", "orderslimit5"}},
      {"relative path, file name cut at its dot", "axios.get(`/users/{id}/profile.json`)", ".js",
       {"users", "profile"}},
      {"scheme removal is case-sensitive", "requests.post(\"HTTPS://Files.example.com/docs\")",
       ".py", {"https:", "files", "docs"}},
      {"only fetch, axios and requests", "client.get('/ignored/path')", ".js", {}},
  });
}

TEST(ExtractKeywordsTest, DeclaredNamesFollowTheExtension) {
  expect_cases({
      {"ts exports and export list",
       "export async function getUserProfile() {}\nexport { alphaBeta, gamma as delta };\n",
       ".ts",
       {"getuserprofile", "get", "user", "profile", "alphabeta", "alpha", "beta", "gamma",
        "delta"}},
      {"ts names only from exports", "function hiddenHelper() {}\n", ".ts", {}},
      {"py public defs and classes with snake parts",
       "def load_user_data():\n    def inner_helper(): pass\nclass _Hidden:\n    pass\n"
       "async def fetch_all():\n    pass\n",
       ".py", {"load_user_data", "load", "user", "data", "fetch_all", "fetch", "all"}},
      {"go exported funcs and methods only",
       "func (s *Server) HandleLogin(w int) {}\nfunc helper() {}\n", ".go",
       {"handlelogin", "handle", "login"}},
      {"swift types then funcs", "    func loadData() {}\npublic final class ProfileView {\n}\n",
       ".swift", {"profileview", "profile", "view", "loaddata", "load", "data"}},
      {"cs types then methods",
       "public sealed class OrderService\n{\n  private async Task<Order> LoadAsync(int id)\n",
       ".cs", {"orderservice", "order", "service", "loadasync", "load", "async"}},
      {"xaml class after the last dot, then names",
       "<Window x:Class=\"MyApp.Views.MainWindow\">\n<Button x:Name=\"SubmitButton\"/>\n",
       ".xaml", {"mainwindow", "main", "window", "submitbutton", "submit", "button"}},
      {"other extensions declare nothing", "export function visibleName() {}\n", ".md", {}},
  });
}

TEST(ExtractKeywordsTest, LeadingDocumentationGivesLongWords) {
  expect_cases({
      {"docstring", "\n\"\"\"Handles billing invoices for customers.\"\"\"\n", ".md",
       {"handles", "billing", "invoices", "customers"}},
      {"block comment stops at a star", "/** Parses config files quickly */\n", ".yaml",
       {"parses", "config", "files", "quickly"}},
      {"in any kind of file", "\"\"\"Words from docstring\"\"\"", ".txt",
       {"words", "from", "docstring"}},
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
      {"long identifier", "export const " + std::string(60000, 'x') + " = 1;\n", ".ts",
       {std::string(60000, 'x')}},
  };
  expect_cases(cases);
  std::string routes;
  while (routes.size() < 300000) routes += "app.get('/";
  EXPECT_EQ(extract_keywords(routes, ".js"), (Words{"get", "app.get("}));
}

}  // namespace
}  // namespace lumenfold::surveyor
