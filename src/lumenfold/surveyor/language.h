#pragma once
// The languages the scanner tells apart, and the one place that decides a
// file's language from its extension.

#include <string_view>

namespace lumenfold::surveyor {

// The languages that get rules of their own. TypeScript and JavaScript
// (.ts .tsx .js .jsx) are one family with one set of rules; C++ takes every
// C and C++ header (.h too: in practice its grammar reads C headers), C
// only .c files. Rust is .rs, Java .java, Kotlin .kt and .kts, Ruby .rb. Everything else
// is kOther: still scanned when walk.h lets it, but only by the
// language-blind rules.
enum class Language {
  kTypeScript,
  kPython,
  kCSharp,
  kPhp,
  kGo,
  kSwift,
  kXaml,
  kC,
  kCpp,
  kRust,
  kJava,
  kKotlin,
  kRuby,
  kOther
};

// The language of the extension `ext` (with its dot: ".py"), compared
// exactly: a caller for whom case must not matter lower-cases it first.
Language language_of(std::string_view ext);

}  // namespace lumenfold::surveyor
