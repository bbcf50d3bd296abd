#include "lumenfold/tsl/source_defs.h"

#include <array>
#include <utility>

namespace lumenfold::tsl {
namespace {

bool is_ident_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$'; }
bool is_ident_char(char c) { return is_ident_start(c) || (c >= '0' && c <= '9'); }

void skip_blanks(std::string_view line, size_t& pos) {
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
}

std::string_view read_ident(std::string_view line, size_t& pos) {
  if (pos >= line.size() || !is_ident_start(line[pos])) return {};
  size_t start = pos;
  while (pos < line.size() && is_ident_char(line[pos])) ++pos;
  return line.substr(start, pos - start);
}

// Words that may stand before a declaration keyword without changing what
// is declared.
constexpr std::array<std::string_view, 19> kModifiers = {
    "abstract", "async",     "declare", "default", "export", "final",  "internal", "open",    "override", "partial",
    "private",  "protected", "pub",     "public",  "sealed", "static", "unsafe",   "virtual", "readonly"};

struct DeclKeyword {
  std::string_view word;
  DefKind kind;
};
constexpr std::array<DeclKeyword, 11> kDeclKeywords = {{{"class", DefKind::kClass},
                                                        {"def", DefKind::kFunction},
                                                        {"enum", DefKind::kClass},
                                                        {"func", DefKind::kFunction},
                                                        {"function", DefKind::kFunction},
                                                        {"interface", DefKind::kClass},
                                                        {"protocol", DefKind::kClass},
                                                        {"record", DefKind::kClass},
                                                        {"struct", DefKind::kClass},
                                                        {"trait", DefKind::kClass},
                                                        {"type", DefKind::kClass}}};

constexpr std::array<std::string_view, 3> kScriptBindings = {"const", "let", "var"};

bool is_modifier(std::string_view w) {
  for (std::string_view m : kModifiers) {
    if (m == w) return true;
  }
  return false;
}

const DeclKeyword* decl_keyword(std::string_view w) {
  for (const DeclKeyword& k : kDeclKeywords) {
    if (k.word == w) return &k;
  }
  return nullptr;
}

bool is_script_binding(std::string_view w) {
  for (std::string_view b : kScriptBindings) {
    if (b == w) return true;
  }
  return false;
}

// An opening "(" ... ")" at `pos` (a Go method receiver) is stepped over.
void skip_receiver(std::string_view line, size_t& pos) {
  if (pos >= line.size() || line[pos] != '(') return;
  size_t close = line.find(')', pos);
  if (close == std::string_view::npos) return;
  pos = close + 1;
  skip_blanks(line, pos);
}

// "= value" but not "==": the rest of an assignment after its name.
bool starts_assignment(std::string_view line, size_t pos) {
  skip_blanks(line, pos);
  if (pos < line.size() && line[pos] == ':') {  // annotated: NAME: type = value
    size_t eq = line.find('=', pos);
    if (eq == std::string_view::npos) return false;
    pos = eq;
  }
  return pos < line.size() && line[pos] == '=' && (pos + 1 >= line.size() || line[pos + 1] != '=');
}

bool is_python(std::string_view ext) { return ext == ".py" || ext == ".pyi"; }

struct OpenScope {
  size_t indent;
  std::string name;
  bool is_class;
};

class DefScanner {
 public:
  explicit DefScanner(std::string_view ext) : python_(is_python(ext)) {}

  void scan_line(std::string_view line, uint32_t line_no) {
    size_t pos = 0;
    skip_blanks(line, pos);
    size_t indent = pos;
    std::string_view first = read_ident(line, pos);
    if (first.empty()) return;
    size_t after_first = pos;
    while (is_modifier(first)) {
      skip_blanks(line, pos);
      std::string_view next = read_ident(line, pos);
      if (next.empty()) break;
      first = next;
    }
    skip_blanks(line, pos);
    if (const DeclKeyword* k = decl_keyword(first)) {
      if (pos < line.size() && line[pos] == '*') ++pos;  // function*
      skip_blanks(line, pos);
      if (k->kind == DefKind::kFunction) skip_receiver(line, pos);
      std::string_view name = read_ident(line, pos);
      if (!name.empty()) {
        add(name, k->kind, indent, line_no);
        return;
      }
    }
    if (python_) {
      if (first.data() == line.data() + indent && starts_assignment(line, after_first)) {
        add_assignment(first, indent, line_no);
      }
      return;
    }
    if (indent == 0 && is_script_binding(first)) {
      std::string_view name = read_ident(line, pos);
      if (!name.empty() && starts_assignment(line, pos)) add_assignment(name, indent, line_no);
    }
  }

  std::vector<SourceDef> take() { return std::move(defs_); }

 private:
  void close_scopes(size_t indent) {
    while (!scopes_.empty() && scopes_.back().indent >= indent) scopes_.pop_back();
  }

  std::string owner() const {
    for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it) {
      if (it->is_class) return it->name;
    }
    return "";
  }

  void add(std::string_view name, DefKind kind, size_t indent, uint32_t line_no) {
    close_scopes(indent);
    defs_.push_back({std::string(name), owner(), kind, line_no});
    scopes_.push_back({indent, std::string(name), kind == DefKind::kClass});
  }

  // Only module constants and class attributes: a function's locals say
  // nothing about what the file offers.
  void add_assignment(std::string_view name, size_t indent, uint32_t line_no) {
    close_scopes(indent);
    if (!scopes_.empty() && !scopes_.back().is_class) return;
    defs_.push_back({std::string(name), owner(), DefKind::kAssignment, line_no});
  }

  bool python_;
  std::vector<OpenScope> scopes_;
  std::vector<SourceDef> defs_;
};

}  // namespace

std::vector<SourceDef> extract_source_defs(std::string_view text, std::string_view ext) {
  DefScanner scanner(ext);
  uint32_t line_no = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    scanner.scan_line(text.substr(start, end - start), line_no);
    ++line_no;
    start = end + 1;
  }
  return scanner.take();
}

}  // namespace lumenfold::tsl
