#pragma once
// The per-file state every symbol extractor shares: the file's lines, the
// descriptions so far and the names already taken. Internal to the scanner.

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/surveyor/symbols.h"

namespace lumenfold::surveyor {

// What an extractor records for a declaration whose name is still free.
struct Declaration {
  std::string type;
  std::string confidence;
  bool exported = false;
};

class SymbolRecorder {
 public:
  // Keeps views of `content` and `file_id`: both must outlive the recorder.
  SymbolRecorder(std::string_view content, std::string_view file_id);

  // Whether `name` may still be recorded: not empty and not taken. The first
  // declaration found under a name decides its symbol.
  bool accepts(std::string_view name) const { return !name.empty() && names_.find(name) == names_.end(); }

  // The text split at every Unicode line boundary; line numbers index it.
  const std::vector<std::string_view>& lines() const { return lines_; }

  // Records `name` over the 0-based lines line_start..line_end, with the
  // keywords of `keyword_name` (the name itself unless given).
  void record(std::string_view name, Declaration declared, int64_t line_start, int64_t line_end);
  void record(std::string_view name, Declaration declared, int64_t line_start, int64_t line_end,
              std::string_view keyword_name);

  // Moves the symbol recorded under `name` to lines line_start..line_end,
  // keeping the rest of what its first declaration decided: a function
  // defined after its prototype spans its definition.
  void relocate(std::string_view name, int64_t line_start, int64_t line_end);

  std::vector<SymbolDescription> take() { return std::move(symbols_); }

 private:
  std::string_view file_id_;
  std::vector<std::string_view> lines_;
  std::set<std::string, std::less<>> names_;
  std::vector<SymbolDescription> symbols_;
};

}  // namespace lumenfold::surveyor
