#pragma once
// Symbols and imports read off a file's syntax tree, for the languages a
// tree-sitter grammar reads (syntax_languages.h).

#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/surveyor/language.h"
#include "lumenfold/surveyor/symbols.h"

namespace lumenfold::surveyor {

// Whether a grammar reads `language`.
bool has_grammar(Language language);

// Where a file's imports come from.
enum class ImportSource {
  kPatterns,         // the scanner's text patterns alone (all languages without grammar; Swift)
  kTreeAndPatterns,  // the tree, in place of the quoted-import pattern; the other patterns too (Go, C, C++)
  kTree,             // the tree alone: it gives every import of the file (Rust, Java, Kotlin, Ruby)
};
ImportSource import_source(Language language);

// The functions, methods, types and namespaces declared outside function
// bodies, in the order they start, each name once (the first declaration
// stands for later ones, except that a C or C++ function declared before it
// is defined spans its definition). A member is "Owner.member"; C++'s "A::f" is
// "A.f", Go's method on (*T) is "T.M", Rust's method in "impl Trait for T"
// is "T.m", Ruby's in "class << self" is "Class.m". Lines are the declaration's, a
// template's from its "template" line; confidence is "high"; types are
// "model", exported functions and methods "use_case", the rest "utility".
// Empty for a language without grammar, a text holding a NUL byte (binary)
// or one whose parse ran out of time.
std::vector<SymbolDescription> extract_symbols_syntax(std::string_view content, std::string_view file_id,
                                                      Language language);

// What the file imports, as written without its quotes or angle brackets, in
// file order: Go's import specs, C and C++'s #include targets, Rust's use
// paths, "mod x;" and extern crates, Java's and Kotlin's imports
// ("java.io.*", without an alias), Ruby's require and require_relative of a
// plain string. Empty for Swift, whose imports the scanner's patterns read.
std::vector<std::string> extract_imports_syntax(std::string_view content, Language language);

// Both from one parse, for a caller that wants both: parsing is most of the
// cost of a scan of such files.
struct SyntaxFacts {
  std::vector<SymbolDescription> symbols;
  std::vector<std::string> imports;
};
SyntaxFacts read_syntax(std::string_view content, std::string_view file_id, Language language);

}  // namespace lumenfold::surveyor
