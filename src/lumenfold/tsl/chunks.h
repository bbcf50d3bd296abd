#pragma once
// A file cut at its class and function definitions. A query about one
// method should not need the rest of a 3000-line module to match: scoring
// the pieces finds the one place that matches best.

#include <string_view>
#include <vector>

#include "lumenfold/tsl/source_defs.h"

namespace lumenfold::tsl {

struct Chunk {
  std::string_view text;           // a run of whole lines of the file
  const SourceDef* def = nullptr;  // the definition it starts with; null for the file's head
};

// The chunks of `text`, in order, covering it whole: the lines before the
// first class or function definition (when there are any), then one chunk
// from each such definition to the next. Assignments do not start a chunk.
// The views point into `text` and `defs`.
std::vector<Chunk> split_into_chunks(std::string_view text, const std::vector<SourceDef>& defs);

}  // namespace lumenfold::tsl
