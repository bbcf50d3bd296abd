#include "lumenfold/surveyor/syntax_facts.h"

#include <algorithm>
#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lumenfold::surveyor {
namespace {

// What a test pins of a symbol; the rest (id, hash, keywords, confidence)
// is checked once, in EachSymbolHasTheRecorderShape.
struct Expected {
  std::string name;
  std::string type;
  int64_t line_start;
  int64_t line_end;
  bool exported;
  bool operator==(const Expected&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Expected& e) {
  return out << e.name << " " << e.type << " " << e.line_start << "-" << e.line_end << (e.exported ? " exported" : "");
}

std::vector<Expected> symbols_of(std::string_view text, Language language) {
  std::vector<Expected> out;
  for (const SymbolDescription& s : extract_symbols_syntax(text, "f", language)) {
    out.push_back({s.name, s.symbol_type, s.line_start, s.line_end, s.exported});
  }
  return out;
}

constexpr const char* kModel = "model";
constexpr const char* kUseCase = "use_case";
constexpr const char* kUtility = "utility";

TEST(ExtractSymbolsSyntaxTest, C) {
  const std::string source =
      "#include <stdio.h>\n"                      // 0
      "typedef struct {\n"                        // 1
      "  int x;\n"                                // 2
      "} point_t;\n"                              // 3
      "typedef struct node { int v; } node_t;\n"  // 4
      "struct node;\n"                            // 5
      "static int helper(int x) {\n"              // 6
      "  struct local { int y; } l;\n"            // 7
      "  return x;\n"                             // 8
      "}\n"                                       // 9
      "int *make_points(int n) { return 0; }\n"   // 10
      "int make_points(int n);\n"                 // 11
      "void (*callback)(int);\n"                  // 12
      "#ifdef HAVE_EXTRA\n"                       // 13
      "enum mode { MODE_A, MODE_B };\n"           // 14
      "union value { int i; float f; };\n"        // 15
      "#endif\n";                                 // 16
  EXPECT_EQ(symbols_of(source, Language::kC), (std::vector<Expected>{
                                                  {"point_t", kModel, 1, 3, true},
                                                  {"node_t", kModel, 4, 4, true},
                                                  {"node", kModel, 4, 4, true},
                                                  {"helper", kUtility, 6, 9, false},
                                                  {"make_points", kUseCase, 10, 10, true},
                                                  {"mode", kModel, 14, 14, true},
                                                  {"value", kModel, 15, 15, true},
                                              }));
}

TEST(ExtractSymbolsSyntaxTest, Cpp) {
  const std::string source =
      "namespace outer::inner {\n"                  // 0
      "namespace {\n"                               // 1
      "void hidden() {}\n"                          // 2
      "class Secret {};\n"                          // 3
      "}  // namespace\n"                           // 4
      "template <typename T>\n"                     // 5
      "class Box {\n"                               // 6
      "  T value_;\n"                               // 7
      "  void reset();\n"                           // 8
      " public:\n"                                  // 9
      "  T get() const { return value_; }\n"        // 10
      "  template <typename U> U as() const;\n"     // 11
      "  struct Slot { int n; };\n"                 // 12
      " protected:\n"                               // 13
      "  void guard();\n"                           // 14
      "};\n"                                        // 15
      "struct Plain { void run(); };\n"             // 16
      "struct TESSEL_API Marked { void go(); };\n"  // 17
      "TESSEL_API void decorated(int x);\n"         // 18
      "using Ints = Box<int>;\n"                    // 19
      "static int count() { return 0; }\n"          // 20
      "enum class Color { kRed };\n"                // 21
      "}  // namespace outer::inner\n"              // 22
      "void Box<int>::reset() {}\n"                 // 23
      "int Registry::Entry::size() const {\n"       // 24
      "  class Local {};\n"                         // 25
      "  return 0;\n"                               // 26
      "}\n"                                         // 27
      "void overloaded(int);\n"                     // 28
      "void overloaded(double) {}\n";               // 29
  EXPECT_EQ(symbols_of(source, Language::kCpp),
            (std::vector<Expected>{
                {"outer.inner", kUtility, 0, 22, true}, {"hidden", kUtility, 2, 2, false},
                {"Secret", kModel, 3, 3, false},        {"Box", kModel, 5, 15, true},
                {"Box.reset", kUtility, 8, 8, false},   {"Box.get", kUseCase, 10, 10, true},
                {"Box.as", kUseCase, 11, 11, true},     {"Box.Slot", kModel, 12, 12, true},
                {"Box.guard", kUtility, 14, 14, false}, {"Plain", kModel, 16, 16, true},
                {"Plain.run", kUseCase, 16, 16, true},  {"Marked", kModel, 17, 17, true},
                {"Marked.go", kUseCase, 17, 17, true},  {"decorated", kUseCase, 18, 18, true},
                {"Ints", kModel, 19, 19, true},         {"count", kUtility, 20, 20, false},
                {"Color", kModel, 21, 21, true},        {"Registry.Entry.size", kUseCase, 24, 27, true},
                {"overloaded", kUseCase, 28, 28, true},
            }));
}

TEST(ExtractSymbolsSyntaxTest, Go) {
  const std::string source =
      "package store\n"                                               // 0
      "\n"                                                            // 1
      "type (\n"                                                      // 2
      "\tID int\n"                                                    // 3
      "\trecord struct {\n"                                           // 4
      "\t\tid ID\n"                                                   // 5
      "\t}\n"                                                         // 6
      ")\n"                                                           // 7
      "type List[T any] struct{ items []T }\n"                        // 8
      "type Reader interface{ Read() error }\n"                       // 9
      "type Alias = List[int]\n"                                      // 10
      "func (l *List[T]) Push(v T) {\n"                               // 11
      "\ttype local int\n"                                            // 12
      "}\n"                                                           // 13
      "func (r record) key() ID { return r.id }\n"                    // 14
      "func Map[T, U any](xs []T, f func(T) U) []U { return nil }\n"  // 15
      "func helper() {}\n"                                            // 16
      "func Émile() {}\n";                                            // 17
  EXPECT_EQ(symbols_of(source, Language::kGo), (std::vector<Expected>{
                                                   {"ID", kModel, 3, 3, true},
                                                   {"record", kModel, 4, 6, false},
                                                   {"List", kModel, 8, 8, true},
                                                   {"Reader", kModel, 9, 9, true},
                                                   {"Alias", kModel, 10, 10, true},
                                                   {"List.Push", kUseCase, 11, 13, true},
                                                   {"record.key", kUtility, 14, 14, false},
                                                   {"Map", kUseCase, 15, 15, true},
                                                   {"helper", kUtility, 16, 16, false},
                                                   {"Émile", kUseCase, 17, 17, true},
                                               }));
}

TEST(ExtractSymbolsSyntaxTest, EachSymbolHasTheRecorderShape) {
  const std::string source = "package p\n\nfunc (s *Server) StartAll() {\n}\n";
  const std::vector<SymbolDescription> symbols = extract_symbols_syntax(source, "cmd/server.go", Language::kGo);
  ASSERT_EQ(symbols.size(), 1u);
  EXPECT_EQ(symbols[0].id, "cmd/server.go::Server.StartAll");
  EXPECT_EQ(symbols[0].confidence, "high");
  EXPECT_EQ(symbols[0].keywords, name_keywords("StartAll"));
  EXPECT_EQ(symbols[0].body_hash, body_hash({"func (s *Server) StartAll() {", "}"}, 0, 1));
}

TEST(ExtractSymbolsSyntaxTest, BrokenFilesKeepTheirIntactParts) {
  struct Case {
    const char* what;
    Language language;
    std::string text;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"c: a broken function between two good ones",
       Language::kC,
       "int first(void) { return 1; }\nint broken( { ]]\nint last(void) { return 2; }\n",
       {"first", "last"}},
      {"c++: a class cut short after a good function",
       Language::kCpp,
       "void kept() {}\nclass Cut { void f(\n",
       {"kept"}},
      {"go: a parameter list left open",
       Language::kGo,
       "package p\nfunc Before() {}\nfunc broken(x int {\n}\nfunc After() {}\n",
       {"Before", "broken", "After"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> names;
    for (const SymbolDescription& s : extract_symbols_syntax(c.text, "f", c.language)) names.push_back(s.name);
    for (const std::string& name : c.names) {
      EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << c.what << ": " << name;
    }
  }
}

TEST(ExtractSymbolsSyntaxTest, HostileTextsFinishQuickly) {
  std::string binary_looking;
  for (int i = 0; i < 20000; ++i) binary_looking += static_cast<char>(1 + (i * 131 + 7) % 127);
  const std::string texts[] = {
      std::string(300000, 'x'),
      "int f() " + std::string(10000, '{') + std::string(10000, '}'),
      std::string(10000, '{'),
      std::string(20000, '(') + "x",
      binary_looking,
      "namespace a { template <typename T> class B { public: void f() { return \"unterminat",
      "package p\nfunc F() { var x = `raw",
  };
  for (Language language : {Language::kC, Language::kCpp, Language::kGo}) {
    for (const std::string& text : texts) {
      const auto start = std::chrono::steady_clock::now();
      for (const SymbolDescription& s : read_syntax(text, "f", language).symbols) EXPECT_LE(s.line_start, s.line_end);
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << text.substr(0, 40);
    }
  }
}

TEST(ExtractSymbolsSyntaxTest, TextWithNulBytesIsNotParsed) {
  const std::string text = std::string("int f(void) { return 0; }\n") + '\0';
  EXPECT_TRUE(extract_symbols_syntax(text, "f", Language::kC).empty());
}

TEST(ExtractSymbolsSyntaxTest, LanguagesWithoutGrammarGiveNothing) {
  EXPECT_FALSE(has_grammar(Language::kPython));
  EXPECT_TRUE(extract_symbols_syntax("def f():\n  pass\n", "f", Language::kPython).empty());
  EXPECT_TRUE(extract_imports_syntax("import os\n", Language::kPython).empty());
}

TEST(ReadSyntaxTest, GivesWhatTheTwoExtractorsGive) {
  const std::string source = "#include \"a.h\"\nstruct S { void f(); };\n#include <b.h>\n";
  const SyntaxFacts facts = read_syntax(source, "x.cpp", Language::kCpp);
  EXPECT_EQ(facts.imports, extract_imports_syntax(source, Language::kCpp));
  EXPECT_EQ(facts.imports, (std::vector<std::string>{"a.h", "b.h"}));
  ASSERT_EQ(facts.symbols.size(), 2u);
  EXPECT_EQ(facts.symbols[1].id, extract_symbols_syntax(source, "x.cpp", Language::kCpp)[1].id);
}

}  // namespace
}  // namespace lumenfold::surveyor
