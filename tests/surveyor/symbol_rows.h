#pragma once
// The members of a symbol description that an extractor decides, in one
// comparable row, for the extractor tests.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "lumenfold/surveyor/symbols.h"

namespace lumenfold::surveyor {

struct Row {
  std::string name;
  std::string symbol_type;
  std::string confidence;
  bool exported;
  int64_t line_start;
  int64_t line_end;
  bool operator==(const Row&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Row& r) {
  return os << "{" << r.name << ", " << r.symbol_type << ", " << r.confidence << ", "
            << (r.exported ? "exported" : "local") << ", " << r.line_start << ".." << r.line_end << "}";
}

inline std::vector<Row> rows(const std::vector<SymbolDescription>& syms) {
  std::vector<Row> out;
  for (const SymbolDescription& s : syms) {
    out.push_back({s.name, s.symbol_type, s.confidence, s.exported, s.line_start, s.line_end});
  }
  return out;
}

}  // namespace lumenfold::surveyor
