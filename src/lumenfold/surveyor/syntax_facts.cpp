// One walk over a syntax tree, driven by the node rules of the file's
// language: it descends through scopes (the file, namespaces, class bodies,
// preprocessor conditionals, ERROR nodes) but never into function bodies, so
// local declarations are not symbols.

#include "lumenfold/surveyor/syntax_facts.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "lumenfold/common/json.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/surveyor/symbol_recorder.h"
#include "lumenfold/surveyor/syntax_languages.h"
#include "lumenfold/surveyor/syntax_tree.h"

namespace lumenfold::surveyor {
namespace {

// Scopes nest this deep at most in real code; deeper ones (hostile text,
// thousands of nested ERROR nodes) are not walked, which keeps the
// recursion's stack bounded.
constexpr int kMaxScopeDepth = 64;

constexpr std::string_view kStatic = "static";
constexpr std::string_view kPublic = "public";
constexpr std::string_view kPrivate = "private";
constexpr std::string_view kProtected = "protected";
constexpr std::string_view kInternal = "internal";
constexpr std::string_view kFilePrivate = "fileprivate";
constexpr std::string_view kOpen = "open";
// Swift's kind of class declaration that only adds to a type.
constexpr std::string_view kExtension = "extension";
// The Ruby calls that load another file.
constexpr std::string_view kRequireMethods[] = {"require", "require_relative"};
constexpr std::string_view kScopeSeparator = "::";
constexpr char kMemberSeparator = '.';
// What may enclose an import's path: "x", <x> or `x`.
constexpr std::string_view kImportQuotes = "\"<`";

// Where a declaration stands: its owner (class or Go receiver type, empty
// at namespace level) and whether what it declares can be exported.
struct Context {
  std::string owner;
  bool visible = true;        // false inside an anonymous namespace
  bool in_class = false;      // in a class body: access decides
  bool public_access = true;  // the access of the current class section
  // Ruby: members made private by name anywhere in the class body
  // ("private :a, :b"), whatever their section.
  std::vector<std::string> hidden_members;
  int depth = 0;
};

// "Owner.name"; either alone when the other is empty.
std::string member_name(std::string_view owner, std::string_view name) {
  if (owner.empty()) return std::string(name);
  if (name.empty()) return std::string(owner);
  std::string out(owner);
  out += kMemberSeparator;
  out += name;
  return out;
}

bool starts_upper(std::string_view name) {
  size_t pos = 0;
  return !name.empty() && common::is_upper(common::decode_at(name, pos));
}

bool is_type(TSNode node, std::string_view type) { return ts_node_type(node) == type; }

// The access a word sets: public, or private/protected; nullopt for any
// other word (a Ruby statement that is no access section).
std::optional<bool> access_of(std::string_view word) {
  if (word == kPublic) return true;
  if (word == kPrivate || word == kProtected) return false;
  return std::nullopt;
}

// The access a modifier word grants: besides access_of's words, Kotlin's
// internal and Swift's fileprivate refuse it, Swift's open grants it.
std::optional<bool> modifier_word_access(std::string_view word) {
  if (word == kInternal || word == kFilePrivate) return false;
  if (word == kOpen) return true;
  return access_of(word);
}

// The access a modifier gives `node`: Rust's pub in any form, or public,
// grants it; private, protected and the like refuse it; nullopt when none
// is written. Java's modifiers are keyword tokens; Kotlin's and Swift's are
// visibility_modifier nodes holding the word.
std::optional<bool> modifier_access(TSNode node, std::string_view source) {
  const uint32_t count = ts_node_named_child_count(node);
  for (uint32_t i = 0; i < count; ++i) {
    const TSNode child = ts_node_named_child(node, i);
    if (is_type(child, "visibility_modifier")) return true;
    if (!is_type(child, "modifiers")) continue;
    const uint32_t words = ts_node_child_count(child);
    for (uint32_t w = 0; w < words; ++w) {
      const TSNode word = ts_node_child(child, w);
      const std::string_view text = is_type(word, "visibility_modifier") ? node_text(word, source) : ts_node_type(word);
      if (std::optional<bool> access = modifier_word_access(text)) return access;
    }
  }
  return std::nullopt;
}

// Whether any direct child is the keyword `static`.
bool has_static(TSNode node, std::string_view source) {
  const uint32_t count = ts_node_named_child_count(node);
  for (uint32_t i = 0; i < count; ++i) {
    const TSNode child = ts_node_named_child(node, i);
    if (is_type(child, "storage_class_specifier") && node_text(child, source) == kStatic) return true;
  }
  return false;
}

// The innermost declarator under `node` (following "declarator" children),
// and whether a function declarator was on the way. A function declarator
// around a parenthesised one is a pointer to a function: a variable.
struct Declarator {
  TSNode node;
  bool function = false;
};

Declarator innermost_declarator(TSNode node) {
  Declarator found{node};
  for (int steps = 0; steps < kMaxScopeDepth; ++steps) {
    // "T& f()": a reference declarator holds its declarator unnamed.
    const TSNode next = is_type(found.node, "reference_declarator") ? ts_node_named_child(found.node, 0)
                                                                    : field_child(found.node, "declarator");
    if (ts_node_is_null(next)) break;
    if (is_type(found.node, "function_declarator")) found.function = !is_type(next, "parenthesized_declarator");
    found.node = next;
  }
  return found;
}

class SyntaxWalker {
 public:
  SyntaxWalker(const SyntaxLanguage& language, std::string_view source, SymbolRecorder* symbols,
               std::vector<std::string>* imports)
      : language_(language), source_(source), symbols_(symbols), imports_(imports) {}

  void walk_scope(TSNode scope, Context ctx) {
    if (ctx.depth++ >= kMaxScopeDepth) return;
    const uint32_t count = ts_node_named_child_count(scope);
    for (uint32_t i = 0; i < count; ++i) visit(ts_node_named_child(scope, i), ctx, std::nullopt);
  }

 private:
  // `span`, when given, is the template around `node`: the symbol starts there.
  void visit(TSNode node, Context& ctx, std::optional<TSNode> span) {
    const NodeRule* rule = rule_for(language_, ts_node_type(node));
    if (rule == nullptr) return;
    switch (rule->role) {
      case NodeRole::kScope:
        walk_scope(node, ctx);
        break;
      case NodeRole::kNamespace:
        visit_namespace(node, ctx);
        break;
      case NodeRole::kType:
        visit_type(node, *rule, ctx, span.value_or(node));
        break;
      case NodeRole::kModule:
        visit_module(node, *rule, ctx);
        break;
      case NodeRole::kNamedType:
        visit_named_type(node, *rule, ctx, span.value_or(node));
        break;
      case NodeRole::kImpl:
        visit_impl(node, *rule, ctx);
        break;
      case NodeRole::kFunction:
        visit_function(node, *rule, ctx, span.value_or(node));
        break;
      case NodeRole::kDeclaration:
        visit_declaration(node, ctx, span.value_or(node));
        break;
      case NodeRole::kTemplate:
        visit_template(node, ctx);
        break;
      case NodeRole::kAccess:
        ctx.public_access = access_of(leading_word(node)).value_or(ctx.public_access);
        break;
      case NodeRole::kImport:
        record_import(node, rule->import_field);
        break;
      case NodeRole::kCall:
        visit_call(node, ctx);
        break;
    }
  }

  void visit_namespace(TSNode node, const Context& ctx) {
    Context inner = ctx;
    const std::string name = name_of(node);
    if (name.empty()) {
      inner.visible = false;
    } else {
      record(name, name, {std::string(kSymbolUtility), std::string(kConfidenceHigh), exported_name(name, ctx, node)},
             node, node);
    }
    const TSNode body = child(node, "body");
    if (!ts_node_is_null(body)) walk_scope(body, inner);
  }

  // "mod x { ... }" is a namespace; "mod x;" loads x's file.
  void visit_module(TSNode node, const NodeRule& rule, const Context& ctx) {
    if (ts_node_is_null(child(node, "body"))) {
      record_import(node, rule.import_field);
    } else {
      visit_namespace(node, ctx);
    }
  }

  // A type with a body is a definition (a bare "struct x" only names one).
  void visit_type(TSNode node, const NodeRule& rule, const Context& ctx, TSNode span) {
    if (ts_node_is_null(child(node, "body"))) return;
    visit_named_type(node, rule, ctx, span);
  }

  void visit_named_type(TSNode node, const NodeRule& rule, const Context& ctx, TSNode span) {
    if (node_text(field_child(node, "declaration_kind"), source_) == kExtension) {
      visit_extension(node, rule, ctx);
      return;
    }
    const std::string name = name_of(node);
    record_type(name, ctx, node, span);
    const TSNode body = child(node, "body");
    if (rule.members != Members::kNone && !name.empty() && !ts_node_is_null(body))
      walk_members(body, rule.members, member_name(ctx.owner, name), ctx);
    Context outer = ctx;
    visit_inner_type(node, outer);
  }

  // "impl T" and "impl<X> Trait for path::T<X>": methods of T, public with
  // the trait when there is one.
  void visit_impl(TSNode node, const NodeRule& rule, const Context& ctx) {
    TSNode type = field_child(node, "type");
    const TSNode body = field_child(node, "body");
    if (ts_node_is_null(type) || ts_node_is_null(body)) return;
    if (is_type(type, "generic_type")) type = field_child(type, "type");
    if (!ts_node_is_null(type) && is_type(type, "scoped_type_identifier")) type = field_child(type, "name");
    if (ts_node_is_null(type)) return;
    const bool of_trait = !ts_node_is_null(field_child(node, "trait"));
    walk_members(body, of_trait ? Members::kPublic : rule.members, member_name(ctx.owner, node_text(type, source_)),
                 ctx);
  }

  // Swift's "extension T { ... }" and "extension Outer.T<X> where ...":
  // methods of T.
  void visit_extension(TSNode node, const NodeRule& rule, const Context& ctx) {
    const TSNode type = field_child(node, "name");
    const TSNode body = child(node, "body");
    if (ts_node_is_null(type) || ts_node_is_null(body)) return;
    walk_members(body, rule.members, member_name(ctx.owner, type_name(type)), ctx);
  }

  void walk_members(TSNode body, Members members, std::string owner, const Context& ctx) {
    Context inner = ctx;
    inner.owner = std::move(owner);
    inner.in_class = true;
    inner.public_access = members == Members::kPublic;
    inner.hidden_members = hidden_by_name(body);
    walk_scope(body, inner);
  }

  // The names given to "private :a, :b" or "protected :c" statements of a
  // Ruby class body; other forms ("private def f", a name held in a
  // variable) are not followed.
  std::vector<std::string> hidden_by_name(TSNode body) const {
    std::vector<std::string> names;
    if (language_.exports != ExportRule::kPublic) return names;
    const uint32_t count = ts_node_named_child_count(body);
    for (uint32_t i = 0; i < count; ++i) {
      const TSNode call = ts_node_named_child(body, i);
      if (!is_type(call, "call") || access_of(node_text(field_child(call, "method"), source_)).value_or(true)) continue;
      const TSNode arguments = field_child(call, "arguments");
      const uint32_t argument_count = ts_node_is_null(arguments) ? 0 : ts_node_named_child_count(arguments);
      for (uint32_t a = 0; a < argument_count; ++a) {
        const TSNode argument = ts_node_named_child(arguments, a);
        if (is_type(argument, "simple_symbol")) names.emplace_back(node_text(argument, source_).substr(1));  // ":a"
      }
    }
    return names;
  }

  // The struct, union or enum a typedef or declaration defines on the way.
  void visit_inner_type(TSNode node, Context& ctx) {
    const TSNode type = field_child(node, "type");
    if (!ts_node_is_null(type)) visit(type, ctx, std::nullopt);
  }

  void visit_function(TSNode node, const NodeRule& rule, const Context& ctx, TSNode span) {
    const Declarator declarator = innermost_declarator(node);
    if (!declarator.function && !names_itself(node) && rule.default_name.empty()) {
      visit_macro_decorated_type(node, declarator.node, ctx, span);
      return;
    }
    const std::string owner = member_name(ctx.owner, receiver_type(node));
    std::string name = name_of(node);
    if (name.empty()) name = rule.default_name;
    record_function(name, owner, has_static(node, source_), ctx, node, span, false);
  }

  // "struct API_MACRO Name { ... }" reads as a function named Name whose
  // return type is "struct API_MACRO" and whose body is the class body.
  void visit_macro_decorated_type(TSNode node, TSNode declarator, const Context& ctx, TSNode span) {
    const TSNode type = field_child(node, "type");
    const TSNode body = child(node, "body");
    if (ts_node_is_null(type) || ts_node_is_null(body) || !is_type(declarator, "identifier")) return;
    const NodeRule* type_rule = rule_for(language_, ts_node_type(type));
    if (type_rule == nullptr || type_rule->role != NodeRole::kType) return;
    const std::string name(node_text(declarator, source_));
    record_type(name, ctx, node, span);
    if (type_rule->members != Members::kNone) walk_members(body, type_rule->members, member_name(ctx.owner, name), ctx);
  }

  void visit_declaration(TSNode node, Context& ctx, TSNode span) {
    if (innermost_declarator(node).function) {
      record_function(name_of(node), ctx.owner, has_static(node, source_), ctx, node, span, true);
    }
    visit_inner_type(node, ctx);
  }

  void visit_template(TSNode node, const Context& ctx) {
    Context inner = ctx;
    if (inner.depth++ >= kMaxScopeDepth) return;
    const uint32_t count = ts_node_named_child_count(node);
    for (uint32_t i = 0; i < count; ++i) {
      const TSNode child = ts_node_named_child(node, i);
      if (rule_for(language_, ts_node_type(child)) != nullptr) visit(child, inner, node);
    }
  }

  // A function named by its "name" child (Go, Rust, Java, Ruby, Kotlin,
  // Swift), not through a C declarator.
  bool names_itself(TSNode node) const {
    return ts_node_is_null(field_child(node, "declarator")) && !ts_node_is_null(child(node, "name"));
  }

  // The child in `field`; in a grammar without field names, the first
  // named child of a type that stands for the field.
  TSNode child(TSNode node, std::string_view field) const {
    const TSNode found = field_child(node, field);
    if (!ts_node_is_null(found)) return found;
    for (const FieldTypes& stand_in : language_.unnamed_fields) {
      if (stand_in.field == field) return first_child_of_type(node, stand_in.types);
    }
    return found;
  }

  static TSNode first_child_of_type(TSNode node, std::span<const std::string_view> types) {
    const uint32_t count = ts_node_named_child_count(node);
    for (uint32_t i = 0; i < count; ++i) {
      const TSNode candidate = ts_node_named_child(node, i);
      if (std::find(types.begin(), types.end(), ts_node_type(candidate)) != types.end()) return candidate;
    }
    return TSNode{};
  }

  // The first word of the node's text: "private" of "private:".
  std::string_view leading_word(TSNode node) const {
    const std::string_view text = node_text(node, source_);
    return text.substr(0, std::min(text.size(), text.find_first_of(" \t:")));
  }

  // The type a Go method is declared on: "T" for (t T), (t *T) and
  // (l *List[T]); that of a Kotlin extension function: "List" for
  // fun <T> List<T>.second().
  std::string receiver_type(TSNode node) const {
    const TSNode receiver = field_child(node, "receiver");
    if (ts_node_is_null(receiver)) return extended_type(node);
    if (ts_node_named_child_count(receiver) == 0) return "";
    TSNode type = field_child(ts_node_named_child(receiver, 0), "type");
    while (!ts_node_is_null(type) && (is_type(type, "pointer_type") || is_type(type, "generic_type"))) {
      type = is_type(type, "generic_type") ? field_child(type, "type") : ts_node_named_child(type, 0);
    }
    return ts_node_is_null(type) ? "" : std::string(node_text(type, source_));
  }

  // The type written before a Kotlin function's name, "" when none is.
  std::string extended_type(TSNode node) const {
    const TSNode name = child(node, "name");
    const uint32_t count = ts_node_named_child_count(node);
    for (uint32_t i = 0; i < count; ++i) {
      const TSNode candidate = ts_node_named_child(node, i);
      if (ts_node_eq(candidate, name)) break;
      if (is_type(candidate, "user_type")) return type_name(candidate);
    }
    return "";
  }

  // A Kotlin or Swift type's name without its type arguments: "Outer.T" of
  // Outer.T<X>.
  std::string type_name(TSNode type) const {
    if (!is_type(type, "user_type")) return simple_name(type);
    std::string name;
    const uint32_t count = ts_node_named_child_count(type);
    for (uint32_t i = 0; i < count; ++i) {
      const TSNode part = ts_node_named_child(type, i);
      if (is_type(part, "type_identifier")) name = member_name(name, node_text(part, source_));
    }
    return name;
  }

  // The declared name: the "name" child, else the innermost declarator's,
  // with "A::B::f" written "A.B.f" and template arguments left out.
  std::string name_of(TSNode node) const {
    const TSNode name = child(node, "name");
    if (!ts_node_is_null(name)) return qualified_name(name);
    const TSNode declarator = innermost_declarator(node).node;
    return ts_node_eq(declarator, node) ? "" : qualified_name(declarator);
  }

  // "A::B::f" nests to the right: scope A, then name B::f.
  std::string qualified_name(TSNode node) const {
    std::string name;
    for (int steps = 0; steps < kMaxScopeDepth && is_type(node, "qualified_identifier"); ++steps) {
      const TSNode scope = field_child(node, "scope");
      if (!ts_node_is_null(scope)) name = member_name(name, simple_name(scope));
      node = field_child(node, "name");
    }
    return member_name(name, simple_name(node));
  }

  // The name without template arguments, "::" written as ".".
  std::string simple_name(TSNode node) const {
    if (is_type(node, "template_type") || is_type(node, "template_function")) node = field_child(node, "name");
    if (ts_node_is_null(node)) return "";
    std::string text(node_text(node, source_));
    for (size_t at = text.find(kScopeSeparator); at != std::string::npos; at = text.find(kScopeSeparator, at)) {
      text.replace(at, kScopeSeparator.size(), 1, kMemberSeparator);
    }
    return text;
  }

  // Whether `name`, declared by `node`, is exported.
  bool exported_name(std::string_view name, const Context& ctx, TSNode node) const {
    if (language_.exports == ExportRule::kModifier || language_.exports == ExportRule::kModifierElsePublic) {
      const bool by_default = ctx.in_class ? ctx.public_access : language_.exports == ExportRule::kModifierElsePublic;
      return modifier_access(node, source_).value_or(by_default);
    }
    if (ctx.in_class) {
      return ctx.public_access &&
             std::find(ctx.hidden_members.begin(), ctx.hidden_members.end(), name) == ctx.hidden_members.end();
    }
    if (language_.exports == ExportRule::kCapitalised) return starts_upper(name);
    if (language_.exports == ExportRule::kPublic) return true;
    return ctx.visible;
  }

  void record_type(const std::string& name, const Context& ctx, TSNode node, TSNode span) {
    const std::string full = member_name(ctx.owner, name);
    record(full, name, {std::string(kSymbolModel), std::string(kConfidenceHigh), exported_name(name, ctx, node)}, span,
           span);
  }

  // A prototype (C and C++: "int f();", a method declared in its class)
  // names the symbol; a definition of it later in the file moves the symbol
  // there, so that reading it gives the body.
  void record_function(const std::string& name, const std::string& owner, bool is_static, const Context& ctx,
                       TSNode node, TSNode span, bool prototype) {
    if (symbols_ == nullptr) return;
    const std::string full = member_name(owner, name);
    if (!prototype && prototypes_.erase(full) > 0) {
      const int64_t line_start = first_line(span);
      symbols_->relocate(full, line_start, std::max(line_start, last_line(span)));
      return;
    }
    if (prototype && symbols_->accepts(full)) prototypes_.insert(full);
    const bool exported =
        exported_name(name.substr(name.rfind(kMemberSeparator) + 1), ctx, node) && (ctx.in_class || !is_static);
    const std::string_view type = exported ? kSymbolUseCase : kSymbolUtility;
    record(full, name, {std::string(type), std::string(kConfidenceHigh), exported}, span, span);
  }

  void record(const std::string& name, std::string_view own_name, Declaration declared, TSNode first, TSNode last) {
    if (symbols_ == nullptr || !symbols_->accepts(name)) return;
    const std::string_view keyword_name = own_name.substr(own_name.rfind(kMemberSeparator) + 1);
    const int64_t line_start = first_line(first);
    symbols_->record(name, std::move(declared), line_start, std::max(line_start, last_line(last)), keyword_name);
  }

  // The import as written, without the quotes or angle brackets around it.
  void record_import(TSNode node, std::string_view field) {
    if (imports_ == nullptr) return;
    std::string_view path = field.empty() ? named_children_text(node) : node_text(field_child(node, field), source_);
    if (path.size() >= 2 && kImportQuotes.find(path.front()) != std::string_view::npos) {
      path = path.substr(1, path.size() - 2);  // "x", <x> or `x`
    }
    if (!path.empty()) imports_->emplace_back(path);
  }

  // From the first named child's start to the last one's end: "java.io.*"
  // of "import java.io.*;", the keywords before it left out, and so is
  // Kotlin's alias ("as F").
  std::string_view named_children_text(TSNode node) const {
    uint32_t count = ts_node_named_child_count(node);
    if (count > 0 && is_type(ts_node_named_child(node, count - 1), "import_alias")) --count;
    if (count == 0) return {};
    const uint32_t start = ts_node_start_byte(ts_node_named_child(node, 0));
    const uint32_t end = ts_node_end_byte(ts_node_named_child(node, count - 1));
    return source_.substr(start, end - start);
  }

  // A call without a receiver and with one argument: "require x" or
  // "private def f ... end"; other calls declare nothing.
  void visit_call(TSNode node, const Context& ctx) {
    const TSNode arguments = field_child(node, "arguments");
    if (!ts_node_is_null(field_child(node, "receiver")) || ts_node_is_null(arguments) ||
        ts_node_named_child_count(arguments) != 1)
      return;
    const std::string_view method = node_text(field_child(node, "method"), source_);
    const TSNode argument = ts_node_named_child(arguments, 0);
    if (std::optional<bool> access = access_of(method); access && ctx.in_class) {
      Context inner = ctx;
      if (inner.depth++ >= kMaxScopeDepth) return;  // "private private ... def f"
      inner.public_access = *access;
      visit(argument, inner, std::nullopt);
    } else if (std::find(std::begin(kRequireMethods), std::end(kRequireMethods), method) != std::end(kRequireMethods)) {
      record_require(argument);
    }
  }

  // The path of require "x"; a computed one (interpolation, File.join) is
  // not an import we can name.
  void record_require(TSNode text) {
    if (imports_ == nullptr) return;
    if (!is_type(text, "string") || ts_node_named_child_count(text) != 1) return;
    const TSNode content = ts_node_named_child(text, 0);
    if (is_type(content, "string_content")) imports_->emplace_back(node_text(content, source_));
  }

  const SyntaxLanguage& language_;
  std::string_view source_;
  SymbolRecorder* symbols_;
  std::vector<std::string>* imports_;
  // Functions recorded from a prototype and not yet defined.
  std::set<std::string, std::less<>> prototypes_;
};

// Parses `content` and walks it once; false when no grammar reads it or the
// parse failed.
bool walk_syntax(std::string_view content, Language language, SymbolRecorder* symbols,
                 std::vector<std::string>* imports) {
  const SyntaxLanguage* syntax = syntax_language(language);
  // A NUL byte means a binary file under a source name: not worth the
  // parser's error recovery, which is slowest on exactly such text.
  if (syntax == nullptr || common::holds_nul(content)) return false;
  const std::optional<SyntaxTree> tree = SyntaxTree::parse(content, syntax->grammar());
  if (!tree) return false;
  SyntaxWalker(*syntax, content, symbols, imports).walk_scope(tree->root(), Context{});
  return true;
}

}  // namespace

bool has_grammar(Language language) { return syntax_language(language) != nullptr; }

ImportSource import_source(Language language) {
  const SyntaxLanguage* syntax = syntax_language(language);
  return syntax == nullptr ? ImportSource::kPatterns : syntax->imports;
}

std::vector<SymbolDescription> extract_symbols_syntax(std::string_view content, std::string_view file_id,
                                                      Language language) {
  SymbolRecorder recorder(content, file_id);
  walk_syntax(content, language, &recorder, nullptr);
  return recorder.take();
}

std::vector<std::string> extract_imports_syntax(std::string_view content, Language language) {
  std::vector<std::string> imports;
  walk_syntax(content, language, nullptr, &imports);
  return imports;
}

SyntaxFacts read_syntax(std::string_view content, std::string_view file_id, Language language) {
  SyntaxFacts facts;
  SymbolRecorder recorder(content, file_id);
  walk_syntax(content, language, &recorder, &facts.imports);
  facts.symbols = recorder.take();
  return facts;
}

}  // namespace lumenfold::surveyor
