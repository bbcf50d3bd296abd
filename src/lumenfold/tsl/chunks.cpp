#include "lumenfold/tsl/chunks.h"

#include <cstdint>

namespace lumenfold::tsl {

std::vector<Chunk> split_into_chunks(std::string_view text, const std::vector<SourceDef>& defs) {
  std::vector<Chunk> chunks;
  size_t offset = 0;  // byte offset of line `line`
  uint32_t line = 0;
  size_t chunk_start = 0;  // byte offset where the open chunk starts
  const SourceDef* open_def = nullptr;
  for (const SourceDef& d : defs) {
    if (d.kind == DefKind::kAssignment || d.line < line) continue;
    while (line < d.line && offset < text.size()) {
      size_t nl = text.find('\n', offset);
      offset = nl == std::string_view::npos ? text.size() : nl + 1;
      ++line;
    }
    if (offset > chunk_start) chunks.push_back({text.substr(chunk_start, offset - chunk_start), open_def});
    chunk_start = offset;
    open_def = &d;
  }
  if (text.size() > chunk_start || open_def != nullptr) {
    chunks.push_back({text.substr(chunk_start), open_def});
  }
  return chunks;
}

}  // namespace lumenfold::tsl
