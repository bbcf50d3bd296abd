#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lumenfold/surveyor/symbols.h"
#include "symbol_rows.h"

namespace lumenfold::surveyor {
namespace {

TEST(ExtractSymbolsTsTest, RecordsEachPassInOrderWithFirstNameWinning) {
  const std::string source =
      "export async function POST(req: Request) {\n"                 // 0
      "  return ok();\n"                                             // 1
      "}\n"                                                          // 2
      "function GET() {}\n"                                          // 3
      "export default function App() {\n"                            // 4
      "  return <div/>;\n"                                           // 5
      "}\n"                                                          // 6
      "export function loadUser(id) { return db(id); }\n"            // 7
      "function formatDate(d) {\n"                                   // 8
      "  return d;\n"                                                // 9
      "}\n"                                                          // 10
      "function useAuth() {}\n"                                      // 11
      "function user() {}\n"                                         // 12
      "export const fetchUser = async (id) => {\n"                   // 13
      "  return id;\n"                                               // 14
      "};\n"                                                         // 15
      "export const config = { a: 1 };\n"                            // 16
      "  function indented() {}\n"                                   // 17
      "  class Indented {}\n"                                        // 18
      "function foo() {}\n"                                          // 19
      "class foo {}\n"                                               // 20
      "export interface Props { a: string }\n"                       // 21
      "type Id = string;\n"                                          // 22
      "export class Store {\n"                                       // 23
      "}\n"                                                          // 24
      "export const UserSchema = z.object({ name: z.string() });\n"  // 25
      "export const useÜber = () => 1;\n";                           // 26
  const std::vector<SymbolDescription> syms = extract_symbols_ts(source, "src/app.ts");
  const std::vector<Row> expected = {
      {"POST", "api_route", "high", true, 0, 2},
      {"App", "use_case", "medium", true, 4, 6},
      {"loadUser", "use_case", "high", true, 7, 7},
      {"formatDate", "utility", "medium", false, 8, 10},
      {"useAuth", "hook", "high", false, 11, 11},
      {"user", "utility", "medium", false, 12, 12},
      {"foo", "utility", "medium", false, 19, 19},
      {"fetchUser", "use_case", "high", true, 13, 15},
      {"useÜber", "hook", "high", true, 26, 26},  // no brace: ends at the last line
      {"Props", "model", "high", true, 21, 21},
      {"Id", "model", "high", false, 22, 24},  // runs into the next braces
      {"Store", "model", "high", true, 23, 24},
      {"UserSchema", "model", "high", true, 25, 25},
  };
  EXPECT_EQ(rows(syms), expected);
  ASSERT_FALSE(syms.empty());
  EXPECT_EQ(syms[0].id, "src/app.ts::POST");
  EXPECT_EQ(syms[0].body_hash, "52779fcd");
  EXPECT_EQ(syms[1].keywords, (std::vector<std::string>{"app"}));
}

TEST(ExtractSymbolsPyTest, SkipsPrivateAndTestsAndFindsRoutesNearDecorators) {
  const std::string source =
      "import os\n"                          // 0
      "\n"                                   // 1
      "def _cache_key(x):\n"                 // 2
      "    return x\n"                       // 3
      "\n"                                   // 4
      "def test_login():\n"                  // 5
      "    pass\n"                           // 6
      "\n"                                   // 7
      "@router.post(\"/login\")\n"           // 8
      "async def login(req):\n"              // 9
      "    return req\n"                     // 10
      "\n\n\n"                               // 11-13
      "def logout(req):\n"                   // 14
      "    pass\n"                           // 15
      "\n\n\n"                               // 16-18
      "def helper():\n"                      // 19
      "    pass\n"                           // 20
      "\n"                                   // 21
      "ROUTE = \"@App.Delete ('/gone')\"\n"  // 22: a decorator 3 lines below
      "\n"                                   // 23
      "class _Cache:\n"                      // 24
      "    pass\n"                           // 25
      "\n"                                   // 26
      "class Store:\n"                       // 27
      "    def get(self):\n"                 // 28
      "        pass\n"                       // 29
      "\n"                                   // 30
      "def Store():\n"                       // 31
      "    pass\n";                          // 32
  const std::vector<Row> expected = {
      {"login", "api_route", "high", true, 9, 10},   {"logout", "use_case", "high", true, 14, 15},
      {"helper", "api_route", "high", true, 19, 22}, {"Store", "use_case", "high", true, 31, 32},
      {"_Cache", "model", "high", false, 24, 25},
  };
  EXPECT_EQ(rows(extract_symbols_py(source, "app.py")), expected);

  // Four lines away is too far.
  const std::string far = "def far():\n    pass\n\n\n@app.post('/x')\ndef near(): pass\n";
  const std::vector<Row> far_expected = {
      {"far", "use_case", "high", true, 0, 1},
      {"near", "api_route", "high", true, 5, 5},
  };
  EXPECT_EQ(rows(extract_symbols_py(far, "far.py")), far_expected);
}

TEST(ExtractSymbolsCsTest, TypesThenMethodsWithFixedWindow) {
  const std::string source =
      "namespace Shop {\n"                                         // 0
      "  public class OrderService {\n"                            // 1
      "    private async Task<List<Order>> LoadAsync(int id) {\n"  // 2
      "      // keep it private else if (ready)\n"                 // 3
      "    }\n"                                                    // 4
      "    public static void Save() { }\n"                        // 5
      "  }\n"                                                      // 6
      "  internal class Helper { }\n"                              // 7
      "  public sealed partial record Receipt(int Id);\n"          // 8
      "  private class publicCache { }\n"                          // 9
      "}\n";                                                       // 10
  const std::vector<Row> expected = {
      {"OrderService", "model", "high", true, 1, 10},
      {"Helper", "model", "high", false, 7, 10},
      {"Receipt", "model", "high", true, 8, 10},
      // "public" within the first 20 characters, wherever it stands.
      {"publicCache", "model", "high", true, 9, 10},
      {"LoadAsync", "use_case", "high", false, 2, 10},
      {"Save", "use_case", "high", true, 5, 10},
  };
  EXPECT_EQ(rows(extract_symbols_cs(source, "Shop.cs")), expected);

  std::string long_file = "\n\npublic class Big {\n";
  for (int i = 0; i < 80; ++i) long_file += "  int f" + std::to_string(i) + ";\n";
  const std::vector<Row> long_expected = {{"Big", "model", "high", true, 2, 62}};
  EXPECT_EQ(rows(extract_symbols_cs(long_file, "Big.cs")), long_expected);
}

TEST(ExtractSymbolsPhpTest, VisibilityComesFromTheModifiersBeforeFunction) {
  const std::string source =
      "<?php\n"                                                                  // 0
      "function helper($x) {\n"                                                  // 1
      "  return $x;\n"                                                           // 2
      "}\n"                                                                      // 3
      "class UserController {\n"                                                 // 4
      "  public function index() {\n"                                            // 5
      "    return 1;\n"                                                          // 6
      "  }\n"                                                                    // 7
      "  private static function secret() { }\n"                                 // 8
      "  final public static function make() { }\n"                              // 9
      "  protected function guard() { return function ($y) { return $y; }; }\n"  // 10
      "}\n"                                                                      // 11
      "interface Repo {}\n";                                                     // 12
  const std::vector<Row> expected = {
      // The match begins at the line break before "function", so it
      // counts as line 0.
      {"helper", "use_case", "high", false, 0, 3},  {"index", "use_case", "high", true, 5, 7},
      {"secret", "use_case", "high", false, 8, 8},  {"make", "use_case", "high", true, 9, 9},
      {"guard", "use_case", "high", false, 10, 10}, {"UserController", "model", "high", true, 4, 11},
      {"Repo", "model", "high", true, 12, 12},
  };
  EXPECT_EQ(rows(extract_symbols_php(source, "src/User.php")), expected);
}

TEST(ExtractSymbolsLineModelTest, MatchLineCountsOnlyLineFeeds) {
  // U+2028 and a lone "\r" split `lines` but are not counted for the line
  // of a match, so the range starts on the separator's second half.
  const std::string separated = "/* a\u2028b */\nexport function late() {\n  return 1;\n}\n";
  const std::vector<SymbolDescription> late = extract_symbols_ts(separated, "a.ts");
  const std::vector<Row> late_expected = {{"late", "use_case", "high", true, 1, 4}};
  EXPECT_EQ(rows(late), late_expected);
  ASSERT_EQ(late.size(), 1u);
  EXPECT_EQ(late[0].body_hash, "6af5751d");  // "b */" .. "}"

  const std::vector<Row> cr_expected = {{"f", "use_case", "high", true, 1, 2}};
  EXPECT_EQ(rows(extract_symbols_ts("x\ry\nexport function f() {}\n", "b.ts")), cr_expected);
}

TEST(ExtractSymbolsTsTest, NonAsciiNamesNeedAnAsciiFirstLetter) {
  const std::string source = "function größe() {}\nfunction Ärger() {}\nclass _Ünit {}\n";
  const std::vector<SymbolDescription> syms = extract_symbols_ts(source, "ü.ts");
  const std::vector<Row> expected = {
      {"größe", "utility", "medium", false, 0, 0},
      {"_Ünit", "model", "high", false, 2, 2},
  };
  EXPECT_EQ(rows(syms), expected);
  ASSERT_EQ(syms.size(), 2u);
  EXPECT_EQ(syms[0].id, "ü.ts::größe");
  EXPECT_EQ(syms[1].keywords, (std::vector<std::string>{"ünit"}));
}

TEST(ExtractSymbolsTsTest, EmptyTextYieldsNothing) {
  EXPECT_TRUE(extract_symbols_ts("", "e.ts").empty());
  EXPECT_TRUE(extract_symbols_py("", "e.py").empty());
  EXPECT_TRUE(extract_symbols_cs("", "e.cs").empty());
  EXPECT_TRUE(extract_symbols_php("", "e.php").empty());
}

}  // namespace
}  // namespace lumenfold::surveyor
