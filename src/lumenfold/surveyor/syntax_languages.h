#pragma once
// The languages read through a tree-sitter grammar, in one table: for each,
// its grammar and what its node types mean to the scanner. A new language
// is a grammar and a row of rules here; the walk over the tree
// (syntax_facts.cpp) is the same for all. Internal to the scanner.

#include <span>
#include <string_view>

#include <tree_sitter/api.h>

#include "lumenfold/surveyor/language.h"

namespace lumenfold::surveyor {

// What a node of some type is to the symbol and import walk.
enum class NodeRole {
  kScope,        // holds declarations: its children are walked
  kNamespace,    // a symbol when named; its body is walked
  kType,         // a type when it has a body (else a mere reference)
  kTypeAlias,    // typedef, using or type spec: always a type
  kFunction,     // a definition; a method under its owner
  kDeclaration,  // a function when its declarator is one; its type may define one
  kTemplate,     // the declaration inside it is the symbol, spanning the template
  kAccess,       // public:, protected: or private: in a class body
  kImport,       // its "path" child names what is imported
};

// Whether a type's body holds members that are symbols, and their access
// until a section says otherwise.
enum class Members { kNone, kPublic, kPrivate };

struct NodeRule {
  std::string_view node_type;
  NodeRole role;
  Members members = Members::kNone;
};

// How `exported` is decided outside class bodies.
enum class ExportRule {
  kCapitalised,  // Go: the name starts with an upper-case letter
  kNotStatic,    // C and C++: functions not static, nor in an anonymous namespace
};

struct SyntaxLanguage {
  Language language;
  const TSLanguage* (*grammar)();
  std::span<const NodeRule> rules;         // the language's own, looked up first
  std::span<const NodeRule> shared_rules;  // those it shares with its family
  ExportRule exports;
};

// The row of `language`, or nullptr when no grammar reads it.
const SyntaxLanguage* syntax_language(Language language);

// The rule for nodes of `node_type`, or nullptr: such nodes are passed over.
const NodeRule* rule_for(const SyntaxLanguage& language, std::string_view node_type);

}  // namespace lumenfold::surveyor
