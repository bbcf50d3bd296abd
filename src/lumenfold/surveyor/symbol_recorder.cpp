#include "lumenfold/surveyor/symbol_recorder.h"

#include <utility>

#include "lumenfold/common/utf8.h"

namespace lumenfold::surveyor {

SymbolRecorder::SymbolRecorder(std::string_view content, std::string_view file_id)
    : file_id_(file_id), lines_(common::split_lines(content)) {}

void SymbolRecorder::record(std::string_view name, Declaration declared, int64_t line_start, int64_t line_end) {
  record(name, std::move(declared), line_start, line_end, name);
}

void SymbolRecorder::record(std::string_view name, Declaration declared, int64_t line_start, int64_t line_end,
                            std::string_view keyword_name) {
  SymbolDescription sym;
  sym.id = std::string(file_id_) + "::" + std::string(name);
  sym.name = std::string(name);
  sym.symbol_type = std::move(declared.type);
  sym.line_start = line_start;
  sym.line_end = line_end;
  sym.body_hash = body_hash(lines_, static_cast<size_t>(line_start), static_cast<size_t>(line_end));
  sym.confidence = std::move(declared.confidence);
  sym.exported = declared.exported;
  sym.keywords = name_keywords(keyword_name);
  names_.insert(sym.name);
  symbols_.push_back(std::move(sym));
}

void SymbolRecorder::relocate(std::string_view name, int64_t line_start, int64_t line_end) {
  for (SymbolDescription& sym : symbols_) {
    if (sym.name != name) continue;
    sym.line_start = line_start;
    sym.line_end = line_end;
    sym.body_hash = body_hash(lines_, static_cast<size_t>(line_start), static_cast<size_t>(line_end));
    return;
  }
}

}  // namespace lumenfold::surveyor
