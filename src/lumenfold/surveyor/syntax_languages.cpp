#include "lumenfold/surveyor/syntax_languages.h"

#include <algorithm>
#include <iterator>

extern "C" {
const TSLanguage* tree_sitter_c();
const TSLanguage* tree_sitter_cpp();
const TSLanguage* tree_sitter_go();
const TSLanguage* tree_sitter_rust();
const TSLanguage* tree_sitter_java();
const TSLanguage* tree_sitter_ruby();
const TSLanguage* tree_sitter_kotlin();
// The Swift grammar with its scanner's state allocation mended.
const TSLanguage* tree_sitter_swift_with_sized_state();
}

namespace lumenfold::surveyor {
namespace {

using enum NodeRole;

// What C and C++ share. Preprocessor conditionals, extern "C" blocks and
// ERROR nodes hold declarations like the file itself does: a declaration
// under #ifdef or next to a broken one is still a symbol.
constexpr NodeRule kCFamilyRules[] = {
    {"translation_unit", kScope},      {"preproc_if", kScope},          {"preproc_ifdef", kScope},
    {"preproc_else", kScope},          {"preproc_elif", kScope},        {"preproc_elifdef", kScope},
    {"linkage_specification", kScope}, {"declaration_list", kScope},    {"ERROR", kScope},
    {"enum_specifier", kType},         {"type_definition", kNamedType}, {"function_definition", kFunction},
    {"declaration", kDeclaration},     {"preproc_include", kImport},
};

// A C struct's members are fields, never symbols.
constexpr NodeRule kCRules[] = {
    {"struct_specifier", kType},
    {"union_specifier", kType},
};

constexpr NodeRule kCppRules[] = {
    {"namespace_definition", kNamespace},
    {"class_specifier", kType, Members::kPrivate},
    {"struct_specifier", kType, Members::kPublic},
    {"union_specifier", kType, Members::kPublic},
    {"alias_declaration", kNamedType},
    {"field_declaration", kDeclaration},
    {"template_declaration", kTemplate},
    {"access_specifier", kAccess},
};

constexpr NodeRule kGoRules[] = {
    {"source_file", kScope},           {"ERROR", kScope},
    {"import_declaration", kScope},    {"import_spec_list", kScope},
    {"type_declaration", kScope},      {"type_spec", kNamedType},
    {"type_alias", kNamedType},        {"function_declaration", kFunction},
    {"method_declaration", kFunction}, {"import_spec", kImport},
};

// A struct's, enum's or union's body holds fields and variants, never
// symbols; a trait's functions are public with it, as are those of an
// "impl Trait for T" (kImpl decides). Attributes (#[cfg(...)]) are siblings
// of the item they gate, so a gated item is read like any other. Macros,
// macro_rules! ones too, are not symbols, as in C.
constexpr NodeRule kRustRules[] = {
    {"source_file", kScope},
    {"declaration_list", kScope},
    {"ERROR", kScope},
    {"mod_item", kModule, Members::kNone, "name"},
    {"struct_item", kNamedType},
    {"enum_item", kNamedType},
    {"union_item", kNamedType},
    {"type_item", kNamedType},
    {"trait_item", kType, Members::kPublic},
    {"impl_item", kImpl, Members::kPrivate},
    {"function_item", kFunction},
    {"function_signature_item", kFunction},
    {"use_declaration", kImport, Members::kNone, "argument"},
    {"extern_crate_declaration", kImport, Members::kNone, "name"},
};

// Members without a modifier are package-private, except an interface's.
// Anonymous classes and classes local to a method lie in method bodies,
// which are not walked; so do an enum constant's own methods.
constexpr NodeRule kJavaRules[] = {
    {"program", kScope},
    {"ERROR", kScope},
    {"enum_body_declarations", kScope},
    {"class_declaration", kType, Members::kPrivate},
    {"record_declaration", kType, Members::kPrivate},
    {"enum_declaration", kType, Members::kPrivate},
    {"interface_declaration", kType, Members::kPublic},
    {"annotation_type_declaration", kType, Members::kPublic},
    {"method_declaration", kFunction},
    {"constructor_declaration", kFunction},
    {"import_declaration", kImport, Members::kNone, ""},
};

// A module holds methods ("def self.f") as a class does, so both are types
// whose members are named after them. "class << self" is a scope in the
// class body: its methods are the class's. Conditionals and begin/rescue
// outside methods hold definitions as C's #ifdef does ("unless
// defined?(X) ... class X"). A bare `private` or `protected`
// statement is an access section, "private def f" an access for f alone;
// attr_accessor and other calls are not symbols.
constexpr NodeRule kRubyRules[] = {
    {"program", kScope},
    {"body_statement", kScope},
    {"ERROR", kScope},
    {"singleton_class", kScope},
    {"if", kScope},
    {"unless", kScope},
    {"elsif", kScope},
    {"then", kScope},
    {"else", kScope},
    {"if_modifier", kScope},
    {"unless_modifier", kScope},
    {"begin", kScope},
    {"rescue", kScope},
    {"ensure", kScope},
    {"class", kNamedType, Members::kPublic},
    {"module", kNamedType, Members::kPublic},
    {"method", kFunction},
    {"singleton_method", kFunction},
    {"identifier", kAccess},
    {"call", kCall},
};

// Kotlin's grammar names no fields: a declaration's name is its first
// identifier child (a function's receiver type comes before it as a
// user_type), its body its class body. A class without a body ("data class
// P(val x: Int)") is still a definition. A companion object's functions are
// its class's. Members are public unless a modifier says otherwise.
constexpr std::string_view kKotlinNames[] = {"type_identifier", "simple_identifier"};
constexpr std::string_view kKotlinBodies[] = {"class_body", "enum_class_body"};
constexpr FieldTypes kKotlinFields[] = {{"name", kKotlinNames}, {"body", kKotlinBodies}};

constexpr NodeRule kKotlinRules[] = {
    {"source_file", kScope},
    {"ERROR", kScope},
    {"companion_object", kScope},
    {"class_body", kScope},
    {"class_declaration", kNamedType, Members::kPublic},
    {"object_declaration", kNamedType, Members::kPublic},
    {"type_alias", kNamedType},
    {"function_declaration", kFunction},
    {.node_type = "secondary_constructor", .role = kFunction, .default_name = "constructor"},
    {"import_list", kScope},
    {"import_header", kImport, Members::kNone, ""},
};

// Swift writes classes, structs, enums, actors and extensions as one node
// type; an extension adds members to the type it names and is no symbol
// itself. Members are internal (not exported) unless public or open.
// Imports keep the scanner's own Swift pattern.
constexpr NodeRule kSwiftRules[] = {
    {"source_file", kScope},
    {"ERROR", kScope},
    {"class_declaration", kNamedType, Members::kPrivate},
    {"protocol_declaration", kNamedType, Members::kPublic},
    {"typealias_declaration", kNamedType},
    {"function_declaration", kFunction},
    {"protocol_function_declaration", kFunction},
    {.node_type = "init_declaration", .role = kFunction, .default_name = "init"},
};

constexpr SyntaxLanguage kSyntaxLanguages[] = {
    {Language::kGo, tree_sitter_go, kGoRules, {}, ExportRule::kCapitalised},
    {Language::kC, tree_sitter_c, kCRules, kCFamilyRules, ExportRule::kNotStatic},
    {Language::kCpp, tree_sitter_cpp, kCppRules, kCFamilyRules, ExportRule::kNotStatic},
    {Language::kRust, tree_sitter_rust, kRustRules, {}, ExportRule::kModifier, ImportSource::kTree},
    {Language::kJava, tree_sitter_java, kJavaRules, {}, ExportRule::kModifier, ImportSource::kTree},
    {Language::kRuby, tree_sitter_ruby, kRubyRules, {}, ExportRule::kPublic, ImportSource::kTree},
    {Language::kKotlin,
     tree_sitter_kotlin,
     kKotlinRules,
     {},
     ExportRule::kModifierElsePublic,
     ImportSource::kTree,
     kKotlinFields},
    {Language::kSwift,
     tree_sitter_swift_with_sized_state,
     kSwiftRules,
     {},
     ExportRule::kModifier,
     ImportSource::kPatterns},
};

}  // namespace

const SyntaxLanguage* syntax_language(Language language) {
  const auto* it = std::find_if(std::begin(kSyntaxLanguages), std::end(kSyntaxLanguages),
                                [language](const SyntaxLanguage& l) { return l.language == language; });
  return it == std::end(kSyntaxLanguages) ? nullptr : it;
}

const NodeRule* rule_for(const SyntaxLanguage& language, std::string_view node_type) {
  for (std::span<const NodeRule> rules : {language.rules, language.shared_rules}) {
    const auto it =
        std::find_if(rules.begin(), rules.end(), [node_type](const NodeRule& r) { return r.node_type == node_type; });
    if (it != rules.end()) return &*it;
  }
  return nullptr;
}

}  // namespace lumenfold::surveyor
