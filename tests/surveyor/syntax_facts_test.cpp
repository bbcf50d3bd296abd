#include "lumenfold/surveyor/syntax_facts.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "symbol_rows.h"

namespace lumenfold::surveyor {
namespace {

std::vector<Row> symbols_of(std::string_view text, Language language) {
  return rows(extract_symbols_syntax(text, "f", language));
}

std::string repeated(std::string_view text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

constexpr const char* kModel = "model";
constexpr const char* kUseCase = "use_case";
constexpr const char* kUtility = "utility";
constexpr const char* kHigh = "high";

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
  EXPECT_EQ(symbols_of(source, Language::kC), (std::vector<Row>{
                                                  {"point_t", kModel, kHigh, true, 1, 3},
                                                  {"node_t", kModel, kHigh, true, 4, 4},
                                                  {"node", kModel, kHigh, true, 4, 4},
                                                  {"helper", kUtility, kHigh, false, 6, 9},
                                                  {"make_points", kUseCase, kHigh, true, 10, 10},
                                                  {"mode", kModel, kHigh, true, 14, 14},
                                                  {"value", kModel, kHigh, true, 15, 15},
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
      "void overloaded(double) {}\n"                // 29
      "const Box<int>& shared_box();\n"             // 30
      "int&& Box<int>::take() { return 0; }\n";     // 31
  EXPECT_EQ(symbols_of(source, Language::kCpp),
            (std::vector<Row>{
                {"outer.inner", kUtility, kHigh, true, 0, 22}, {"hidden", kUtility, kHigh, false, 2, 2},
                {"Secret", kModel, kHigh, false, 3, 3},        {"Box", kModel, kHigh, true, 5, 15},
                {"Box.reset", kUtility, kHigh, false, 23, 23}, {"Box.get", kUseCase, kHigh, true, 10, 10},
                {"Box.as", kUseCase, kHigh, true, 11, 11},     {"Box.Slot", kModel, kHigh, true, 12, 12},
                {"Box.guard", kUtility, kHigh, false, 14, 14}, {"Plain", kModel, kHigh, true, 16, 16},
                {"Plain.run", kUseCase, kHigh, true, 16, 16},  {"Marked", kModel, kHigh, true, 17, 17},
                {"Marked.go", kUseCase, kHigh, true, 17, 17},  {"decorated", kUseCase, kHigh, true, 18, 18},
                {"Ints", kModel, kHigh, true, 19, 19},         {"count", kUtility, kHigh, false, 20, 20},
                {"Color", kModel, kHigh, true, 21, 21},        {"Registry.Entry.size", kUseCase, kHigh, true, 24, 27},
                {"overloaded", kUseCase, kHigh, true, 29, 29}, {"shared_box", kUseCase, kHigh, true, 30, 30},
                {"Box.take", kUseCase, kHigh, true, 31, 31},
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
  EXPECT_EQ(symbols_of(source, Language::kGo), (std::vector<Row>{
                                                   {"ID", kModel, kHigh, true, 3, 3},
                                                   {"record", kModel, kHigh, false, 4, 6},
                                                   {"List", kModel, kHigh, true, 8, 8},
                                                   {"Reader", kModel, kHigh, true, 9, 9},
                                                   {"Alias", kModel, kHigh, true, 10, 10},
                                                   {"List.Push", kUseCase, kHigh, true, 11, 13},
                                                   {"record.key", kUtility, kHigh, false, 14, 14},
                                                   {"Map", kUseCase, kHigh, true, 15, 15},
                                                   {"helper", kUtility, kHigh, false, 16, 16},
                                                   {"Émile", kUseCase, kHigh, true, 17, 17},
                                               }));
}

TEST(ExtractSymbolsSyntaxTest, Rust) {
  const std::string source =
      "pub mod outer {\n"                                    // 0
      "    pub(crate) mod nested {\n"                        // 1
      "        pub fn deep() {}\n"                           // 2
      "    }\n"                                              // 3
      "    fn private_fn() {}\n"                             // 4
      "}\n"                                                  // 5
      "pub struct Point { x: i32 }\n"                        // 6
      "struct Unit;\n"                                       // 7
      "pub enum Shape { Circle, Square }\n"                  // 8
      "pub trait Draw {\n"                                   // 9
      "    fn draw(&self);\n"                                // 10
      "    fn size(&self) -> u32 { 0 }\n"                    // 11
      "}\n"                                                  // 12
      "impl Draw for Point {\n"                              // 13
      "    fn draw(&self) {\n"                               // 14
      "        fn local() {}\n"                              // 15
      "    }\n"                                              // 16
      "}\n"                                                  // 17
      "impl<T: Clone> Wrapper<T> {\n"                        // 18
      "    pub fn new(v: T) -> Self { Wrapper(v) }\n"        // 19
      "    fn peek(&self) {}\n"                              // 20
      "}\n"                                                  // 21
      "impl fmt::Display for shapes::Circle {}\n"            // 22
      "pub type Map = HashMap<String, i32>;\n"               // 23
      "macro_rules! square { ($x:expr) => { $x * $x }; }\n"  // 24
      "#[cfg(test)]\n"                                       // 25
      "mod tests {\n"                                        // 26
      "    #[test]\n"                                        // 27
      "    fn it_works() {}\n"                               // 28
      "}\n"                                                  // 29
      "#[cfg(feature = \"x\")]\n"                            // 30
      "pub fn gated() {}\n"                                  // 31
      "pub(super) union Bits { a: u32 }\n";                  // 32
  EXPECT_EQ(symbols_of(source, Language::kRust), (std::vector<Row>{
                                                     {"outer", kUtility, kHigh, true, 0, 5},
                                                     {"nested", kUtility, kHigh, true, 1, 3},
                                                     {"deep", kUseCase, kHigh, true, 2, 2},
                                                     {"private_fn", kUtility, kHigh, false, 4, 4},
                                                     {"Point", kModel, kHigh, true, 6, 6},
                                                     {"Unit", kModel, kHigh, false, 7, 7},
                                                     {"Shape", kModel, kHigh, true, 8, 8},
                                                     {"Draw", kModel, kHigh, true, 9, 12},
                                                     {"Draw.draw", kUseCase, kHigh, true, 10, 10},
                                                     {"Draw.size", kUseCase, kHigh, true, 11, 11},
                                                     {"Point.draw", kUseCase, kHigh, true, 14, 16},
                                                     {"Wrapper.new", kUseCase, kHigh, true, 19, 19},
                                                     {"Wrapper.peek", kUtility, kHigh, false, 20, 20},
                                                     {"Map", kModel, kHigh, true, 23, 23},
                                                     {"tests", kUtility, kHigh, false, 26, 29},
                                                     {"it_works", kUtility, kHigh, false, 28, 28},
                                                     {"gated", kUseCase, kHigh, true, 31, 31},
                                                     {"Bits", kModel, kHigh, true, 32, 32},
                                                 }));
}

TEST(ExtractSymbolsSyntaxTest, Java) {
  const std::string source =
      "package com.example;\n"                                          // 0
      "public class Outer {\n"                                          // 1
      "    private int x;\n"                                            // 2
      "    public Outer() {}\n"                                         // 3
      "    public void run() {\n"                                       // 4
      "        Runnable r = new Runnable() { public void go() {} };\n"  // 5
      "        class Local {}\n"                                        // 6
      "    }\n"                                                         // 7
      "    void pkg() {}\n"                                             // 8
      "    static public class Inner {\n"                               // 9
      "        public void go() {}\n"                                   // 10
      "    }\n"                                                         // 11
      "    private interface Hidden {}\n"                               // 12
      "}\n"                                                             // 13
      "interface Shape {\n"                                             // 14
      "    double area();\n"                                            // 15
      "    default String name() { return \"s\"; }\n"                   // 16
      "    private void check() {}\n"                                   // 17
      "}\n"                                                             // 18
      "public enum Color {\n"                                           // 19
      "    RED { @Override String label() { return \"r\"; } };\n"       // 20
      "    String label() { return \"\"; }\n"                           // 21
      "}\n"                                                             // 22
      "public record Pair(int a, int b) {\n"                            // 23
      "    public int sum() { return a + b; }\n"                        // 24
      "}\n"                                                             // 25
      "@interface Marker {}\n";                                         // 26
  EXPECT_EQ(symbols_of(source, Language::kJava), (std::vector<Row>{
                                                     {"Outer", kModel, kHigh, true, 1, 13},
                                                     {"Outer.Outer", kUseCase, kHigh, true, 3, 3},
                                                     {"Outer.run", kUseCase, kHigh, true, 4, 7},
                                                     {"Outer.pkg", kUtility, kHigh, false, 8, 8},
                                                     {"Outer.Inner", kModel, kHigh, true, 9, 11},
                                                     {"Outer.Inner.go", kUseCase, kHigh, true, 10, 10},
                                                     {"Outer.Hidden", kModel, kHigh, false, 12, 12},
                                                     {"Shape", kModel, kHigh, false, 14, 18},
                                                     {"Shape.area", kUseCase, kHigh, true, 15, 15},
                                                     {"Shape.name", kUseCase, kHigh, true, 16, 16},
                                                     {"Shape.check", kUtility, kHigh, false, 17, 17},
                                                     {"Color", kModel, kHigh, true, 19, 22},
                                                     {"Color.label", kUtility, kHigh, false, 21, 21},
                                                     {"Pair", kModel, kHigh, true, 23, 25},
                                                     {"Pair.sum", kUseCase, kHigh, true, 24, 24},
                                                     {"Marker", kModel, kHigh, false, 26, 26},
                                                 }));
}

TEST(ExtractSymbolsSyntaxTest, Ruby) {
  const std::string source =
      "module Shop\n"                             // 0
      "  class Cart < Base\n"                     // 1
      "    attr_accessor :items\n"                // 2
      "    def initialize\n"                      // 3
      "      def weird; end\n"                    // 4
      "    end\n"                                 // 5
      "    def self.build; end\n"                 // 6
      "    class << self\n"                       // 7
      "      def create; end\n"                   // 8
      "    end\n"                                 // 9
      "    def total; end\n"                      // 10
      "    private\n"                             // 11
      "    def secret; end\n"                     // 12
      "    public\n"                              // 13
      "    def reopened; end\n"                   // 14
      "    def named_private; end\n"              // 15
      "    private :named_private\n"              // 16
      "    protected def guarded; end\n"          // 17
      "  end\n"                                   // 18
      "  module Util\n"                           // 19
      "    def self.helper; end\n"                // 20
      "  end\n"                                   // 21
      "end\n"                                     // 22
      "def top_level; end\n"                      // 23
      "class Shop::Error < StandardError; end\n"  // 24
      "unless defined?(Compat)\n"                 // 25
      "  class Compat; end\n"                     // 26
      "else\n"                                    // 27
      "  def fallback; end\n"                     // 28
      "end\n";                                    // 29
  EXPECT_EQ(symbols_of(source, Language::kRuby), (std::vector<Row>{
                                                     {"Shop", kModel, kHigh, true, 0, 22},
                                                     {"Shop.Cart", kModel, kHigh, true, 1, 18},
                                                     {"Shop.Cart.initialize", kUseCase, kHigh, true, 3, 5},
                                                     {"Shop.Cart.build", kUseCase, kHigh, true, 6, 6},
                                                     {"Shop.Cart.create", kUseCase, kHigh, true, 8, 8},
                                                     {"Shop.Cart.total", kUseCase, kHigh, true, 10, 10},
                                                     {"Shop.Cart.secret", kUtility, kHigh, false, 12, 12},
                                                     {"Shop.Cart.reopened", kUseCase, kHigh, true, 14, 14},
                                                     {"Shop.Cart.named_private", kUtility, kHigh, false, 15, 15},
                                                     {"Shop.Cart.guarded", kUtility, kHigh, false, 17, 17},
                                                     {"Shop.Util", kModel, kHigh, true, 19, 21},
                                                     {"Shop.Util.helper", kUseCase, kHigh, true, 20, 20},
                                                     {"top_level", kUseCase, kHigh, true, 23, 23},
                                                     {"Shop.Error", kModel, kHigh, true, 24, 24},
                                                     {"Compat", kModel, kHigh, true, 26, 26},
                                                     {"fallback", kUseCase, kHigh, true, 28, 28},
                                                 }));
}

TEST(ExtractSymbolsSyntaxTest, Kotlin) {
  const std::string source =
      "package app\n"                                                  // 0
      "typealias Handler = (String) -> Unit\n"                         // 1
      "interface Greeter {\n"                                          // 2
      "    fun greet(name: String): String\n"                          // 3
      "}\n"                                                            // 4
      "open class Server(private val port: Int) : Greeter {\n"         // 5
      "    companion object {\n"                                       // 6
      "        fun create(): Server = Server(80)\n"                    // 7
      "    }\n"                                                        // 8
      "    constructor(s: String) : this(1)\n"                         // 9
      "    override fun greet(name: String) = \"hi\"\n"                // 10
      "    fun start() {\n"                                            // 11
      "        fun local() {}\n"                                       // 12
      "        val o = object : Runnable { override fun run() {} }\n"  // 13
      "    }\n"                                                        // 14
      "    private fun hidden() {}\n"                                  // 15
      "    internal fun inside() {}\n"                                 // 16
      "    class Nested { fun inner() {} }\n"                          // 17
      "}\n"                                                            // 18
      "object Registry {\n"                                            // 19
      "    fun register(x: Int) {}\n"                                  // 20
      "}\n"                                                            // 21
      "enum class Color(val rgb: Int) {\n"                             // 22
      "    RED(1) { override fun toString() = \"r\" },\n"              // 23
      "    GREEN(2);\n"                                                // 24
      "    fun hex() = rgb\n"                                          // 25
      "}\n"                                                            // 26
      "data class Point(val x: Int, val y: Int)\n"                     // 27
      "fun String.shout(): String = uppercase()\n"                     // 28
      "fun <T> List<T>.second(): T = this[1]\n"                        // 29
      "private fun helper() {}\n"                                      // 30
      "@Deprecated(\"x\")\n"                                           // 31
      "fun annotated() {}\n";                                          // 32
  EXPECT_EQ(symbols_of(source, Language::kKotlin), (std::vector<Row>{
                                                       {"Handler", kModel, kHigh, true, 1, 1},
                                                       {"Greeter", kModel, kHigh, true, 2, 4},
                                                       {"Greeter.greet", kUseCase, kHigh, true, 3, 3},
                                                       {"Server", kModel, kHigh, true, 5, 18},
                                                       {"Server.create", kUseCase, kHigh, true, 7, 7},
                                                       {"Server.constructor", kUseCase, kHigh, true, 9, 9},
                                                       {"Server.greet", kUseCase, kHigh, true, 10, 10},
                                                       {"Server.start", kUseCase, kHigh, true, 11, 14},
                                                       {"Server.hidden", kUtility, kHigh, false, 15, 15},
                                                       {"Server.inside", kUtility, kHigh, false, 16, 16},
                                                       {"Server.Nested", kModel, kHigh, true, 17, 17},
                                                       {"Server.Nested.inner", kUseCase, kHigh, true, 17, 17},
                                                       {"Registry", kModel, kHigh, true, 19, 21},
                                                       {"Registry.register", kUseCase, kHigh, true, 20, 20},
                                                       {"Color", kModel, kHigh, true, 22, 26},
                                                       {"Color.hex", kUseCase, kHigh, true, 25, 25},
                                                       {"Point", kModel, kHigh, true, 27, 27},
                                                       {"String.shout", kUseCase, kHigh, true, 28, 28},
                                                       {"List.second", kUseCase, kHigh, true, 29, 29},
                                                       {"helper", kUtility, kHigh, false, 30, 30},
                                                       {"annotated", kUseCase, kHigh, true, 31, 32},
                                                   }));
}

TEST(ExtractSymbolsSyntaxTest, Swift) {
  const std::string source =
      "import Foundation\n"                                         // 0
      "typealias Handler = (String) -> Void\n"                      // 1
      "public protocol Greeter {\n"                                 // 2
      "    func greet(name: String) -> String\n"                    // 3
      "}\n"                                                         // 4
      "public class Server: Greeter {\n"                            // 5
      "    private var port: Int\n"                                 // 6
      "    init(port: Int) { self.port = port }\n"                  // 7
      "    public func greet(name: String) -> String { \"hi\" }\n"  // 8
      "    func start() {\n"                                        // 9
      "        func local() {}\n"                                   // 10
      "    }\n"                                                     // 11
      "    fileprivate func hidden() {}\n"                          // 12
      "    class Nested { func inner() {} }\n"                      // 13
      "}\n"                                                         // 14
      "extension Server {\n"                                        // 15
      "    public func stop() {}\n"                                 // 16
      "}\n"                                                         // 17
      "extension Array where Element: Equatable {\n"                // 18
      "    func dedup() {}\n"                                       // 19
      "}\n"                                                         // 20
      "struct Point { var x: Int; func len() -> Int { x } }\n"      // 21
      "enum Color { case red; func hex() -> Int { 0 } }\n"          // 22
      "actor Store { func put() {} }\n"                             // 23
      "open class Base {}\n"                                        // 24
      "public func topLevel() {}\n"                                 // 25
      "@MainActor\n"                                                // 26
      "func annotated<T>(x: T) {}\n";                               // 27
  EXPECT_EQ(
      symbols_of(source, Language::kSwift),
      (std::vector<Row>{
          {"Handler", kModel, kHigh, false, 1, 1},         {"Greeter", kModel, kHigh, true, 2, 4},
          {"Greeter.greet", kUseCase, kHigh, true, 3, 3},  {"Server", kModel, kHigh, true, 5, 14},
          {"Server.init", kUtility, kHigh, false, 7, 7},   {"Server.greet", kUseCase, kHigh, true, 8, 8},
          {"Server.start", kUtility, kHigh, false, 9, 11}, {"Server.hidden", kUtility, kHigh, false, 12, 12},
          {"Server.Nested", kModel, kHigh, false, 13, 13}, {"Server.Nested.inner", kUtility, kHigh, false, 13, 13},
          {"Server.stop", kUseCase, kHigh, true, 16, 16},  {"Array.dedup", kUtility, kHigh, false, 19, 19},
          {"Point", kModel, kHigh, false, 21, 21},         {"Point.len", kUtility, kHigh, false, 21, 21},
          {"Color", kModel, kHigh, false, 22, 22},         {"Color.hex", kUtility, kHigh, false, 22, 22},
          {"Store", kModel, kHigh, false, 23, 23},         {"Store.put", kUtility, kHigh, false, 23, 23},
          {"Base", kModel, kHigh, true, 24, 24},           {"topLevel", kUseCase, kHigh, true, 25, 25},
          {"annotated", kUtility, kHigh, false, 26, 27},
      }));
}

TEST(ExtractImportsSyntaxTest, ImportsAsWritten) {
  struct Case {
    const char* what;
    Language language;
    std::string text;
    std::vector<std::string> imports;
  };
  const Case cases[] = {
      {"rust: use paths, file modules and extern crates",
       Language::kRust,
       "use std::collections::HashMap;\nuse crate::{a::B, c};\nmod inner;\nmod here {}\nextern crate serde;\n"
       "fn f() { use std::io; }\n",
       {"std::collections::HashMap", "crate::{a::B, c}", "inner", "serde"}},
      {"java: plain, static and on-demand imports",
       Language::kJava,
       "package p;\nimport java.util.List;\nimport static java.lang.Math.max;\nimport java.io.*;\nclass A {}\n",
       {"java.util.List", "java.lang.Math.max", "java.io.*"}},
      {"ruby: require and require_relative of plain strings only",
       Language::kRuby,
       "require 'json'\nrequire_relative \"lib/helper\"\nrequire(\"set\")\nrequire File.join(\"x\")\n"
       "require \"a#{b}\"\nKernel.require 'no'\nload 'other.rb'\nbegin\n  require 'psych'\nrescue LoadError\nend\n"
       "require 'etc' if windows?\n",
       {"json", "lib/helper", "set", "psych", "etc"}},
      {"kotlin: plain, on-demand and aliased imports",
       Language::kKotlin,
       "package p\nimport kotlin.math.max\nimport com.example.util.*\nimport java.io.File as JFile\nclass A\n",
       {"kotlin.math.max", "com.example.util.*", "java.io.File"}},
      {"swift: none from the tree, the scanner's own pattern reads them",
       Language::kSwift,
       "import Foundation\nclass A {}\n",
       {}},
  };
  for (const Case& c : cases) EXPECT_EQ(extract_imports_syntax(c.text, c.language), c.imports) << c.what;
}

TEST(ExtractSymbolsSyntaxTest, AMemberIsIdentifiedByOwnerAndKeyedByItsOwnName) {
  const std::string source = "package p\n\nfunc (s *Server) StartAll() {\n}\n";
  const std::vector<SymbolDescription> symbols = extract_symbols_syntax(source, "cmd/server.go", Language::kGo);
  ASSERT_EQ(symbols.size(), 1u);
  EXPECT_EQ(symbols[0].id, "cmd/server.go::Server.StartAll");
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
      {"rust: an impl cut short after a good function",
       Language::kRust,
       "fn kept() {}\nstruct S;\nimpl S { fn half(&self) -> {\n",
       {"kept", "S"}},
      {"java: a method with a broken body between two good ones",
       Language::kJava,
       "class A {\n  void first() {}\n  void broken() { int = ; }\n  void last() {}\n}\n",
       {"A", "A.first", "A.last"}},
      {"ruby: a method never closed", Language::kRuby, "def kept; end\nclass Open\n  def half(\n", {"kept"}},
      {"kotlin: a function cut off mid-signature",
       Language::kKotlin,
       "class A {\n  fun first() {}\n}\nfun kept() {}\nfun broken(x: \n",
       {"A", "A.first", "kept"}},
      {"swift: a method with a broken body before a good type",
       Language::kSwift,
       "class A {\n  func first() {}\n  func broken() { let = }\n}\nstruct Kept {}\n",
       {"A", "A.first", "Kept"}},
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
      "impl<T> X for Y<T> { fn f() { let s = r#\"raw",
      "class A { void f() { String s = \"\"\"text block",
      "class A\n  def f\n    x = <<~EOS\n  unterminated heredoc",
      std::string(5000, '[') + "mod m {" + std::string(5000, '<'),
      "module M\n" + std::string(3000, ' ') + "class << " + std::string(3000, '('),
      "class A\n" + repeated("private ", 20000) + "def f; end\nend\n",
  };
  for (Language language : {Language::kC, Language::kCpp, Language::kGo, Language::kRust, Language::kJava,
                            Language::kKotlin, Language::kRuby, Language::kSwift}) {
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
