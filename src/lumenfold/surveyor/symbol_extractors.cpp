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

#include "lumenfold/surveyor/symbols.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/regex.h"
#include "lumenfold/common/utf8.h"

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

// Route handlers of file-based routers ("export async function POST(").
constexpr std::string_view kTsRoutePattern =
    R"re(^export\s+(?:async\s+)?function\s+(GET|POST|PUT|PATCH|DELETE|HEAD|OPTIONS)\s*[\(<])re";
constexpr std::string_view kTsFunctionPattern =
    R"re(^(export\s+)?(default\s+)?(async\s+)?function\s+([A-Za-z_]\w*)\s*[\(<])re";
constexpr std::string_view kTsConstFunctionPattern =
    R"re(^export\s+(?:const|let)\s+([A-Za-z_]\w*)\s*=\s*(?:async\s+)?(?:function|\([^)]*\)\s*=>|\w+\s*=>))re";
constexpr std::string_view kTsTypePattern =
    R"re(^(export\s+)?(?:interface|type)\s+([A-Za-z_]\w*)\s*[={<])re";
constexpr std::string_view kTsClassPattern =
    R"re(^(export\s+)?(?:default\s+)?class\s+([A-Za-z_]\w*))re";
// zod schemas: "const UserSchema = z.object(...)".
constexpr std::string_view kTsSchemaPattern =
    R"re(^(?:export\s+)?const\s+([A-Za-z_]\w*[Ss]chema)\s*=\s*z\.)re";

constexpr std::string_view kPyRouteDecoratorPattern =
    R"re(@(?:app|router|blueprint)\.(?:get|post|put|delete|patch)\s*\()re";
constexpr std::string_view kPyFunctionPattern = R"re(^(?:async\s+)?def\s+([A-Za-z_]\w*)\s*\()re";
constexpr std::string_view kPyClassPattern = R"re(^class\s+([A-Za-z_]\w*))re";

constexpr std::string_view kCsTypePattern =
    R"re((?:public|internal|private|protected)\s+(?:(?:static|abstract|sealed|partial|new|override|virtual|extern|unsafe)\s+)*(?:class|interface|enum|struct|record)\s+([A-Za-z_]\w*))re";
constexpr std::string_view kCsMethodPattern =
    R"re((?:public|private|protected|internal)\s+(?:static\s+)?(?:async\s+)?(?:virtual\s+|override\s+)?(?!class\b|if\b|for\b|while\b|return\b|new\b)[\w<>\[\]?]+\s+([A-Za-z_]\w*)\s*\()re";

constexpr std::string_view kPhpFunctionPattern =
    R"re((?:public|private|protected|\s)(?:static\s+)?function\s+([A-Za-z_]\w*))re";
constexpr std::string_view kPhpTypePattern =
    R"re((?:class|interface|trait|enum)\s+([A-Za-z_]\w*))re";
// The run of modifier keywords that ends right where "function" begins.
constexpr std::string_view kPhpModifierRunPattern =
    R"re(\b(?:(?:public|protected|private|static|abstract|final)\s+)+\z)re";

// Statement keywords that the C# method pattern can take for a name
// ("else if (", "return new Foo(").
constexpr std::string_view kCsNonMethodNames[] = {"if", "for", "while", "return", "new", "class"};

constexpr std::string_view kPublic = "public";
constexpr std::string_view kPhpFunctionKeyword = "function";

struct Patterns {
  Regex ts_route{kTsRoutePattern, kRegexMultiline};
  Regex ts_function{kTsFunctionPattern, kRegexMultiline};
  Regex ts_const_function{kTsConstFunctionPattern, kRegexMultiline};
  Regex ts_type{kTsTypePattern, kRegexMultiline};
  Regex ts_class{kTsClassPattern, kRegexMultiline};
  Regex ts_schema{kTsSchemaPattern, kRegexMultiline};
  Regex py_route_decorator{kPyRouteDecoratorPattern, kRegexCaseless | kRegexMultiline};
  Regex py_function{kPyFunctionPattern, kRegexMultiline};
  Regex py_class{kPyClassPattern, kRegexMultiline};
  Regex cs_type{kCsTypePattern};
  Regex cs_method{kCsMethodPattern};
  Regex php_function{kPhpFunctionPattern};
  Regex php_type{kPhpTypePattern};
  Regex php_modifier_run{kPhpModifierRunPattern};
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

// The per-file state shared by the passes of one extractor: the lines, the
// descriptions so far and the names already taken.
class SymbolRecorder {
 public:
  SymbolRecorder(std::string_view content, std::string_view file_id)
      : content_(content), file_id_(file_id), lines_(common::split_lines(content)) {}

  std::string_view content() const { return content_; }

  // Whether `name` may still be recorded: not empty and not taken. The first
  // pass that finds a name decides its type.
  bool accepts(std::string_view name) const {
    return !name.empty() && names_.find(name) == names_.end();
  }

  int64_t last_line() const { return lines_.empty() ? 0 : static_cast<int64_t>(lines_.size()) - 1; }
  int64_t ts_block_end(int64_t line) const {
    return static_cast<int64_t>(find_block_end_ts(lines_, static_cast<size_t>(line)));
  }
  int64_t py_block_end(int64_t line) const {
    return static_cast<int64_t>(find_block_end_py(lines_, static_cast<size_t>(line)));
  }

  void record(std::string_view name, std::string_view symbol_type, std::string_view confidence,
              bool exported, int64_t line_start, int64_t line_end) {
    SymbolDescription sym;
    sym.id = std::string(file_id_) + "::" + std::string(name);
    sym.name = std::string(name);
    sym.symbol_type = std::string(symbol_type);
    sym.line_start = line_start;
    sym.line_end = line_end;
    sym.body_hash =
        body_hash(lines_, static_cast<size_t>(line_start), static_cast<size_t>(line_end));
    sym.confidence = std::string(confidence);
    sym.exported = exported;
    sym.keywords = name_keywords(name);
    names_.insert(sym.name);
    symbols_.push_back(std::move(sym));
  }

  std::vector<SymbolDescription> take() { return std::move(symbols_); }

 private:
  std::string_view content_;
  std::string_view file_id_;
  std::vector<std::string_view> lines_;
  std::set<std::string, std::less<>> names_;
  std::vector<SymbolDescription> symbols_;
};

// Whether `word` occurs within the `chars` code points that start at `start`.
bool occurs_within(std::string_view text, size_t start, size_t chars, std::string_view word) {
  return common::cut_code_points(text.substr(start), chars).find(word) != std::string_view::npos;
}

void record_ts_routes(SymbolRecorder& rec) {
  LineCounter counter(rec.content());
  for (const RegexMatch& m : patterns().ts_route.find_all(rec.content()).matches) {
    const int64_t line = counter.line_at(m.start());
    if (!rec.accepts(m.group(1))) continue;
    rec.record(m.group(1), kSymbolApiRoute, kConfidenceHigh, true, line, rec.ts_block_end(line));
  }
}

void record_ts_functions(SymbolRecorder& rec) {
  LineCounter counter(rec.content());
  for (const RegexMatch& m : patterns().ts_function.find_all(rec.content()).matches) {
    const int64_t line = counter.line_at(m.start());
    const std::string_view name = m.group(4);
    if (!rec.accepts(name)) continue;
    const bool exported = m.has(1);
    auto [type, confidence] = classify_ts(name, exported);
    // Route handlers need "export": the route pass alone records them.
    if (type == kSymbolApiRoute) continue;
    rec.record(name, type, confidence, exported, line, rec.ts_block_end(line));
  }
}

void record_ts_const_functions(SymbolRecorder& rec) {
  LineCounter counter(rec.content());
  for (const RegexMatch& m : patterns().ts_const_function.find_all(rec.content()).matches) {
    const int64_t line = counter.line_at(m.start());
    const std::string_view name = m.group(1);
    if (!rec.accepts(name)) continue;
    auto [type, confidence] = classify_ts(name, true);
    rec.record(name, type, confidence, true, line, rec.ts_block_end(line));
  }
}

// Records group `name_group` of every match as a "model" with confidence
// "high"; exported comes from whether `export_group` took part (0: always).
void record_ts_models(SymbolRecorder& rec, const Regex& pattern, int export_group, int name_group) {
  LineCounter counter(rec.content());
  for (const RegexMatch& m : pattern.find_all(rec.content()).matches) {
    const int64_t line = counter.line_at(m.start());
    const std::string_view name = m.group(name_group);
    if (!rec.accepts(name)) continue;
    const bool exported = export_group == 0 || m.has(export_group);
    rec.record(name, kSymbolModel, kConfidenceHigh, exported, line, rec.ts_block_end(line));
  }
}

// Line numbers of the route decorators, ascending.
std::vector<int64_t> py_route_decorator_lines(const SymbolRecorder& rec) {
  std::vector<int64_t> lines;
  LineCounter counter(rec.content());
  for (const RegexMatch& m : patterns().py_route_decorator.find_all(rec.content()).matches) {
    lines.push_back(counter.line_at(m.start()));
  }
  return lines;
}

bool near_any(const std::vector<int64_t>& sorted_lines, int64_t line) {
  auto it = std::lower_bound(sorted_lines.begin(), sorted_lines.end(), line - kRouteDecoratorReach);
  return it != sorted_lines.end() && *it <= line + kRouteDecoratorReach;
}

bool is_cs_non_method_name(std::string_view name) {
  return std::find(std::begin(kCsNonMethodNames), std::end(kCsNonMethodNames), name) !=
         std::end(kCsNonMethodNames);
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
  const size_t keyword =
      m.start() + content.substr(m.start(), m.end() - m.start()).find(kPhpFunctionKeyword);
  size_t from = keyword > kPhpModifierLookbackBytes ? keyword - kPhpModifierLookbackBytes : 0;
  while (from < keyword && is_utf8_continuation(content[from])) ++from;
  // Only the bounded window is handed to the engine, so the cost per function
  // does not grow with the file.
  const auto run = patterns().php_modifier_run.search(content.substr(from, keyword - from));
  return run && run->group(0).find(kPublic) != std::string_view::npos;
}

}  // namespace

std::vector<SymbolDescription> extract_symbols_ts(std::string_view content,
                                                  std::string_view file_id) {
  SymbolRecorder rec(content, file_id);
  const Patterns& p = patterns();
  record_ts_routes(rec);
  record_ts_functions(rec);
  record_ts_const_functions(rec);
  record_ts_models(rec, p.ts_type, /*export_group=*/1, /*name_group=*/2);
  record_ts_models(rec, p.ts_class, /*export_group=*/1, /*name_group=*/2);
  record_ts_models(rec, p.ts_schema, /*export_group=*/0, /*name_group=*/1);
  return rec.take();
}

std::vector<SymbolDescription> extract_symbols_py(std::string_view content,
                                                  std::string_view file_id) {
  SymbolRecorder rec(content, file_id);
  const std::vector<int64_t> decorator_lines = py_route_decorator_lines(rec);

  LineCounter function_lines(content);
  for (const RegexMatch& m : patterns().py_function.find_all(content).matches) {
    const int64_t line = function_lines.line_at(m.start());
    const std::string_view name = m.group(1);
    // Private helpers and tests are not entry points worth indexing.
    if (name.starts_with("_") || name.starts_with("test_")) continue;
    if (!rec.accepts(name)) continue;
    const std::string_view type =
        near_any(decorator_lines, line) ? kSymbolApiRoute : kSymbolUseCase;
    rec.record(name, type, kConfidenceHigh, true, line, rec.py_block_end(line));
  }

  LineCounter class_lines(content);
  for (const RegexMatch& m : patterns().py_class.find_all(content).matches) {
    const int64_t line = class_lines.line_at(m.start());
    const std::string_view name = m.group(1);
    if (!rec.accepts(name)) continue;
    rec.record(name, kSymbolModel, kConfidenceHigh, !name.starts_with("_"), line,
               rec.py_block_end(line));
  }
  return rec.take();
}

std::vector<SymbolDescription> extract_symbols_cs(std::string_view content,
                                                  std::string_view file_id) {
  SymbolRecorder rec(content, file_id);
  const auto window_end = [&](int64_t line) {
    return std::min(rec.last_line(), line + kCsSymbolWindowLines);
  };

  LineCounter type_lines(content);
  for (const RegexMatch& m : patterns().cs_type.find_all(content).matches) {
    const int64_t line = type_lines.line_at(m.start());
    if (!rec.accepts(m.group(1))) continue;
    const bool exported = occurs_within(content, m.start(), kCsTypePublicWindow, kPublic);
    rec.record(m.group(1), kSymbolModel, kConfidenceHigh, exported, line, window_end(line));
  }

  LineCounter method_lines(content);
  for (const RegexMatch& m : patterns().cs_method.find_all(content).matches) {
    const int64_t line = method_lines.line_at(m.start());
    const std::string_view name = m.group(1);
    if (is_cs_non_method_name(name) || !rec.accepts(name)) continue;
    const bool exported = occurs_within(content, m.start(), kCsMethodPublicWindow, kPublic);
    rec.record(name, kSymbolUseCase, kConfidenceHigh, exported, line, window_end(line));
  }
  return rec.take();
}

std::vector<SymbolDescription> extract_symbols_php(std::string_view content,
                                                   std::string_view file_id) {
  SymbolRecorder rec(content, file_id);

  LineCounter function_lines(content);
  for (const RegexMatch& m : patterns().php_function.find_all(content).matches) {
    const int64_t line = function_lines.line_at(m.start());
    if (!rec.accepts(m.group(1))) continue;
    const bool exported = php_function_is_public(content, m);
    rec.record(m.group(1), kSymbolUseCase, kConfidenceHigh, exported, line, rec.ts_block_end(line));
  }

  LineCounter type_lines(content);
  for (const RegexMatch& m : patterns().php_type.find_all(content).matches) {
    const int64_t line = type_lines.line_at(m.start());
    if (!rec.accepts(m.group(1))) continue;
    rec.record(m.group(1), kSymbolModel, kConfidenceHigh, true, line, rec.ts_block_end(line));
  }
  return rec.take();
}

}  // namespace lumenfold::surveyor
