#pragma once
// The languages read through a tree-sitter grammar, in one table: for each,
// its grammar and what its node types mean to the scanner. A new language
// is a grammar and a row of rules here; the walk over the tree
// (syntax_facts.cpp) is the same for all. Internal to the scanner.

#include <span>
#include <string_view>

#include <tree_sitter/api.h>

#include "lumenfold/surveyor/language.h"
#include "lumenfold/surveyor/syntax_facts.h"

namespace lumenfold::surveyor {

// What a node of some type is to the symbol and import walk.
enum class NodeRole {
  kScope,        // holds declarations: its children are walked
  kNamespace,    // a symbol when named; its body is walked
  kModule,       // Rust's mod: a namespace with a body, an import ("mod x;") without
  kType,         // a type when it has a body (else a mere reference)
  kNamedType,    // always a type (typedef, alias, Rust struct, Ruby class); members as for kType
  kImpl,         // Rust's impl: not a symbol, but its body holds the members of the type it names
  kFunction,     // a definition; a method under its owner
  kDeclaration,  // a function when its declarator is one; its type may define one
  kTemplate,     // the declaration inside it is the symbol, spanning the template
  kAccess,       // public:, protected: or private: in a class body; Ruby's bare private
  kImport,       // its `import_field` child names what is imported
  kCall,         // Ruby's call: require "x" imports x; "private def f" defines f, not exported
};

// Whether a type's body holds members that are symbols, and their access
// until a section says otherwise.
enum class Members { kNone, kPublic, kPrivate };

struct NodeRule {
  std::string_view node_type;
  NodeRole role;
  Members members = Members::kNone;
  // For kImport: the child that names the import; empty for the text of all
  // the named children together (Java's "java.io.*").
  std::string_view import_field = "path";
  // For kFunction: the name of a declaration that has none of its own
  // (Swift's init, Kotlin's secondary constructor).
  std::string_view default_name = {};
};

// For a grammar without field names (Kotlin): the node types that play the
// part of a field, the first named child of one of them standing for it.
struct FieldTypes {
  std::string_view field;
  std::span<const std::string_view> types;
};

// How `exported` is decided outside class bodies.
enum class ExportRule {
  kCapitalised,         // Go: the name starts with an upper-case letter
  kNotStatic,           // C and C++: functions not static, nor in an anonymous namespace
  kModifier,            // Rust, Java, Swift: a pub or public modifier, else the default of the body it is in
  kModifierElsePublic,  // Kotlin: as kModifier, but public where no modifier says otherwise
  kPublic,              // Ruby: everything outside class bodies
};

struct SyntaxLanguage {
  Language language;
  const TSLanguage* (*grammar)();
  std::span<const NodeRule> rules;         // the language's own, looked up first
  std::span<const NodeRule> shared_rules;  // those it shares with its family
  ExportRule exports;
  ImportSource imports = ImportSource::kTreeAndPatterns;
  std::span<const FieldTypes> unnamed_fields = {};
};

// The row of `language`, or nullptr when no grammar reads it.
const SyntaxLanguage* syntax_language(Language language);

// The rule for nodes of `node_type`, or nullptr: such nodes are passed over.
const NodeRule* rule_for(const SyntaxLanguage& language, std::string_view node_type);

}  // namespace lumenfold::surveyor
