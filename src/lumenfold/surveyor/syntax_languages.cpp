#include "lumenfold/surveyor/syntax_languages.h"

#include <algorithm>
#include <iterator>

extern "C" {
const TSLanguage* tree_sitter_c();
const TSLanguage* tree_sitter_cpp();
const TSLanguage* tree_sitter_go();
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
    {"enum_specifier", kType},         {"type_definition", kTypeAlias}, {"function_definition", kFunction},
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
    {"alias_declaration", kTypeAlias},
    {"field_declaration", kDeclaration},
    {"template_declaration", kTemplate},
    {"access_specifier", kAccess},
};

constexpr NodeRule kGoRules[] = {
    {"source_file", kScope},           {"ERROR", kScope},
    {"import_declaration", kScope},    {"import_spec_list", kScope},
    {"type_declaration", kScope},      {"type_spec", kTypeAlias},
    {"type_alias", kTypeAlias},        {"function_declaration", kFunction},
    {"method_declaration", kFunction}, {"import_spec", kImport},
};

constexpr SyntaxLanguage kSyntaxLanguages[] = {
    {Language::kGo, tree_sitter_go, kGoRules, {}, ExportRule::kCapitalised},
    {Language::kC, tree_sitter_c, kCRules, kCFamilyRules, ExportRule::kNotStatic},
    {Language::kCpp, tree_sitter_cpp, kCppRules, kCFamilyRules, ExportRule::kNotStatic},
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
