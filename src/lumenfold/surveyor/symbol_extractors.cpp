// The four language extractors. Each runs a few fixed regular expressions
// over the whole text, one pass per kind of declaration, and records every
// new name with its line range. Nothing is parsed: a declaration the
// patterns miss is simply not a symbol.
//
// Implementation details. The line of a match is the number of "\n" before
// its start. Matches of one pass come left to right, so a pass counts
// newlines incrementally from the previous match instead of from the start
// of the text, which keeps a file with thousands of matches linear. Line
// ranges index `lines`, the text split at every Unicode line boundary; the
// two agree except around the rarer separators (U+2028 and friends), where
// the "\n" count is the smaller one and therefore still a valid index.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lumenfold/common/regex.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/surveyor/symbol_recorder.h"
#include "lumenfold/surveyor/symbols.h"

namespace lumenfold::surveyor {
namespace {

using common::kRegexCaseless;
using common::kRegexMultiline;
using common::Regex;
using common::RegexMatch;

// A route decorator this close to a def (above or below) marks it as a
// route handler; decorators stack, so the one naming the route may sit a few
// lines away.
constexpr int64_t kRouteDecoratorReach = 3;
// C# symbols get a fixed window instead of brace matching: long enough for a
// typical method, and cheap.
constexpr int64_t kCsSymbolWindowLines = 60;
// How far from a C# match start "public" may occur: a type's modifiers are
// short, a method's may include static/async/virtual before the return type.
constexpr size_t kCsTypePublicWindow = 20;
constexpr size_t kCsMethodPublicWindow = 30;
// How many bytes before a PHP "function" keyword are searched for its
// modifiers; "final public static " is far shorter, and the bound keeps the
// search per function constant.
constexpr size_t kPhpModifierLookbackBytes = 256;

// Statement keywords that the C# method pattern can take for a name
// ("else if (", "return new Foo(").
constexpr std::string_view kCsNonMethodNames[] = {"if", "for", "while", "return", "new", "class"};

constexpr std::string_view kPublic = "public";
constexpr std::string_view kPhpFunctionKeyword = "function";

struct Patterns {
  // Route handlers of file-based routers ("export async function POST(").
  Regex ts_route{R"re(^export\s+(?:async\s+)?function\s+(GET|POST|PUT|PATCH|DELETE|HEAD|OPTIONS)\s*[\(<])re",
                 kRegexMultiline};
  Regex ts_function{R"re(^(export\s+)?(default\s+)?(async\s+)?function\s+([A-Za-z_]\w*)\s*[\(<])re", kRegexMultiline};
  Regex ts_const_function{
      R"re(^export\s+(?:const|let)\s+([A-Za-z_]\w*)\s*=\s*(?:async\s+)?(?:function|\([^)]*\)\s*=>|\w+\s*=>))re",
      kRegexMultiline};
  Regex ts_type{R"re(^(export\s+)?(?:interface|type)\s+([A-Za-z_]\w*)\s*[={<])re", kRegexMultiline};
  Regex ts_class{R"re(^(export\s+)?(?:default\s+)?class\s+([A-Za-z_]\w*))re", kRegexMultiline};
  // zod schemas: "const UserSchema = z.object(...)".
  Regex ts_schema{R"re(^(?:export\s+)?const\s+([A-Za-z_]\w*[Ss]chema)\s*=\s*z\.)re", kRegexMultiline};

  Regex py_route_decorator{R"re(@(?:app|router|blueprint)\.(?:get|post|put|delete|patch)\s*\()re",
                           kRegexCaseless | kRegexMultiline};
  Regex py_function{R"re(^(?:async\s+)?def\s+([A-Za-z_]\w*)\s*\()re", kRegexMultiline};
  Regex py_class{R"re(^class\s+([A-Za-z_]\w*))re", kRegexMultiline};

  Regex cs_type{
      R"re((?:public|internal|private|protected)\s+(?:(?:static|abstract|sealed|partial|new|override|virtual|extern|unsafe)\s+)*(?:class|interface|enum|struct|record)\s+([A-Za-z_]\w*))re"};
  Regex cs_method{
      R"re((?:public|private|protected|internal)\s+(?:static\s+)?(?:async\s+)?(?:virtual\s+|override\s+)?(?!class\b|if\b|for\b|while\b|return\b|new\b)[\w<>\[\]?]+\s+([A-Za-z_]\w*)\s*\()re"};

  Regex php_function{R"re((?:public|private|protected|\s)(?:static\s+)?function\s+([A-Za-z_]\w*))re"};
  Regex php_type{R"re((?:class|interface|trait|enum)\s+([A-Za-z_]\w*))re"};
  // The run of modifier keywords that ends right where "function" begins.
  Regex php_modifier_run{R"re(\b(?:(?:public|protected|private|static|abstract|final)\s+)+\z)re"};
};

const Patterns& patterns() {
  // Compiled once, on first use rather than during static initialisation
  // (which would depend on the order of other files' statics), and never
  // changed afterwards.
  static const Patterns kPatterns;
  return kPatterns;
}

// Line numbers of ascending byte offsets, counting "\n" only from the
// previous offset onwards.
class LineCounter {
 public:
  explicit LineCounter(std::string_view text) : text_(text) {}

  int64_t line_at(size_t offset) {
    if (offset < pos_) {  // out of order: count afresh
      pos_ = 0;
      line_ = 0;
    }
    line_ += std::count(text_.begin() + pos_, text_.begin() + offset, '\n');
    pos_ = offset;
    return line_;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int64_t line_ = 0;
};

// How a symbol's last line is found from its first.
enum class BlockRule {
  kBraces,       // find_block_end_ts
  kIndentation,  // find_block_end_py
  kCsWindow,     // a fixed window, cut at the last line
};

// The last line of the block that starts at `line`, as `rule` finds it.
int64_t block_end(const SymbolRecorder& rec, BlockRule rule, int64_t line) {
  const std::vector<std::string_view>& lines = rec.lines();
  switch (rule) {
    case BlockRule::kBraces:
      return static_cast<int64_t>(find_block_end_ts(lines, static_cast<size_t>(line)));
    case BlockRule::kIndentation:
      return static_cast<int64_t>(find_block_end_py(lines, static_cast<size_t>(line)));
    case BlockRule::kCsWindow:
      break;
  }
  const int64_t last_line = lines.empty() ? 0 : static_cast<int64_t>(lines.size()) - 1;
  return std::min(last_line, line + kCsSymbolWindowLines);
}

// Calls visit(match, line) for every match of `pattern` in `content`.
template <typename Visit>
void for_each_match(const Regex& pattern, std::string_view content, Visit visit) {
  LineCounter counter(content);
  for (const RegexMatch& m : pattern.find_all(content).matches) visit(m, counter.line_at(m.start()));
}

// What a pass knows about one match when it decides what the match declares.
struct Found {
  std::string_view content;
  const RegexMatch& match;
  std::string_view name;
  int64_t line;
  std::span<const int64_t> route_decorator_lines;  // ascending; Python's only
};

// One pass of an extractor: each match of `pattern` whose group `name_group`
// is a name still free is recorded as `declare` describes it (nullopt: not
// a symbol after all), from its line to the end that `block` finds.
struct Pass {
  Regex Patterns::*pattern;
  int name_group;
  BlockRule block;
  std::optional<Declaration> (*declare)(const Found&);
};

// Runs `passes` in order over `content`; the first pass to find a name
// decides its symbol.
std::vector<SymbolDescription> record_passes(std::string_view content, std::string_view file_id,
                                             std::span<const Pass> passes,
                                             std::span<const int64_t> route_decorator_lines = {}) {
  SymbolRecorder rec(content, file_id);
  for (const Pass& pass : passes) {
    for_each_match(patterns().*pass.pattern, content, [&](const RegexMatch& m, int64_t line) {
      const std::string_view name = m.group(pass.name_group);
      if (!rec.accepts(name)) return;
      std::optional<Declaration> declared = pass.declare({content, m, name, line, route_decorator_lines});
      if (declared) rec.record(name, std::move(*declared), line, block_end(rec, pass.block, line));
    });
  }
  return rec.take();
}

// A declaration of `type` with confidence "high".
Declaration high(std::string_view type, bool exported) {
  return {std::string(type), std::string(kConfidenceHigh), exported};
}

// A TS/JS function, typed from its name.
Declaration classified_ts(std::string_view name, bool exported) {
  auto [type, confidence] = classify_ts(name, exported);
  return {std::move(type), std::move(confidence), exported};
}

// Whether `word` occurs within the `chars` code points that start at `start`.
bool occurs_within(std::string_view text, size_t start, size_t chars, std::string_view word) {
  return common::cut_code_points(text.substr(start), chars).find(word) != std::string_view::npos;
}

bool near_any(std::span<const int64_t> sorted_lines, int64_t line) {
  auto it = std::lower_bound(sorted_lines.begin(), sorted_lines.end(), line - kRouteDecoratorReach);
  return it != sorted_lines.end() && *it <= line + kRouteDecoratorReach;
}

bool is_cs_non_method_name(std::string_view name) {
  return std::find(std::begin(kCsNonMethodNames), std::end(kCsNonMethodNames), name) != std::end(kCsNonMethodNames);
}

bool is_utf8_continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// The PHP function pattern lets a single white-space character stand in for
// the visibility keyword, and since "public" is always followed by a space
// the match starts after the keyword, never at it. So instead of a window
// from the match start, visibility is read from the run of modifiers
// (public, protected, private, static, abstract, final) that ends where the
// "function" keyword begins: the function is exported when that run
// contains "public". A function with no modifiers (top level, or a method
// left implicit) is not exported, as when "public" is simply absent.
bool php_function_is_public(std::string_view content, const RegexMatch& m) {
  const size_t keyword = m.start() + content.substr(m.start(), m.end() - m.start()).find(kPhpFunctionKeyword);
  size_t from = keyword > kPhpModifierLookbackBytes ? keyword - kPhpModifierLookbackBytes : 0;
  while (from < keyword && is_utf8_continuation(content[from])) ++from;
  // Only the bounded window is handed to the engine, so the cost per function
  // does not grow with the file.
  const auto run = patterns().php_modifier_run.search(content.substr(from, keyword - from));
  return run && run->group(0).find(kPublic) != std::string_view::npos;
}

std::optional<Declaration> declare_ts_route(const Found&) { return high(kSymbolApiRoute, true); }

std::optional<Declaration> declare_ts_function(const Found& f) {
  Declaration declared = classified_ts(f.name, f.match.has(1));
  // Route handlers need "export": the route pass alone records them.
  if (declared.type == kSymbolApiRoute) return std::nullopt;
  return declared;
}

std::optional<Declaration> declare_exported_ts_function(const Found& f) { return classified_ts(f.name, true); }

// Exported when the pattern's group 1 ("export") took part.
std::optional<Declaration> declare_model(const Found& f) { return high(kSymbolModel, f.match.has(1)); }

std::optional<Declaration> declare_exported_model(const Found&) { return high(kSymbolModel, true); }

std::optional<Declaration> declare_py_function(const Found& f) {
  // Private helpers and tests are not entry points worth indexing.
  if (f.name.starts_with("_") || f.name.starts_with("test_")) return std::nullopt;
  return high(near_any(f.route_decorator_lines, f.line) ? kSymbolApiRoute : kSymbolUseCase, true);
}

std::optional<Declaration> declare_py_class(const Found& f) { return high(kSymbolModel, !f.name.starts_with("_")); }

std::optional<Declaration> declare_cs_type(const Found& f) {
  return high(kSymbolModel, occurs_within(f.content, f.match.start(), kCsTypePublicWindow, kPublic));
}

std::optional<Declaration> declare_cs_method(const Found& f) {
  if (is_cs_non_method_name(f.name)) return std::nullopt;
  return high(kSymbolUseCase, occurs_within(f.content, f.match.start(), kCsMethodPublicWindow, kPublic));
}

std::optional<Declaration> declare_php_function(const Found& f) {
  return high(kSymbolUseCase, php_function_is_public(f.content, f.match));
}

constexpr Pass kTsPasses[] = {
    {&Patterns::ts_route, 1, BlockRule::kBraces, declare_ts_route},
    {&Patterns::ts_function, 4, BlockRule::kBraces, declare_ts_function},
    {&Patterns::ts_const_function, 1, BlockRule::kBraces, declare_exported_ts_function},
    {&Patterns::ts_type, 2, BlockRule::kBraces, declare_model},
    {&Patterns::ts_class, 2, BlockRule::kBraces, declare_model},
    {&Patterns::ts_schema, 1, BlockRule::kBraces, declare_exported_model},
};
constexpr Pass kPyPasses[] = {
    {&Patterns::py_function, 1, BlockRule::kIndentation, declare_py_function},
    {&Patterns::py_class, 1, BlockRule::kIndentation, declare_py_class},
};
constexpr Pass kCsPasses[] = {
    {&Patterns::cs_type, 1, BlockRule::kCsWindow, declare_cs_type},
    {&Patterns::cs_method, 1, BlockRule::kCsWindow, declare_cs_method},
};
constexpr Pass kPhpPasses[] = {
    {&Patterns::php_function, 1, BlockRule::kBraces, declare_php_function},
    {&Patterns::php_type, 1, BlockRule::kBraces, declare_exported_model},
};

// Line numbers of the route decorators, ascending.
std::vector<int64_t> py_route_decorator_lines(std::string_view content) {
  std::vector<int64_t> lines;
  for_each_match(patterns().py_route_decorator, content,
                 [&](const RegexMatch&, int64_t line) { lines.push_back(line); });
  return lines;
}

}  // namespace

std::vector<SymbolDescription> extract_symbols_ts(std::string_view content, std::string_view file_id) {
  return record_passes(content, file_id, kTsPasses);
}

std::vector<SymbolDescription> extract_symbols_py(std::string_view content, std::string_view file_id) {
  return record_passes(content, file_id, kPyPasses, py_route_decorator_lines(content));
}

std::vector<SymbolDescription> extract_symbols_cs(std::string_view content, std::string_view file_id) {
  return record_passes(content, file_id, kCsPasses);
}

std::vector<SymbolDescription> extract_symbols_php(std::string_view content, std::string_view file_id) {
  return record_passes(content, file_id, kPhpPasses);
}

}  // namespace lumenfold::surveyor
