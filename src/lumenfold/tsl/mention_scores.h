#pragma once
// Evidence from what a query names, per file: a path that ends in the
// file's id, a dotted module name that is the file, and code names that
// the file defines. Each signal is on its own scale, 0 when absent, about 1
// for one clear piece of evidence.

#include <cstdint>
#include <vector>

#include "lumenfold/tsl/def_index.h"
#include "lumenfold/tsl/path_index.h"
#include "lumenfold/tsl/query_mentions.h"

namespace lumenfold::tsl {

struct MentionSignals {
  std::vector<double> path;    // named by a written path or stack-trace frame
  std::vector<double> module;  // named by a dotted module name, or defines what one names
  std::vector<double> defs;    // defines code names of the query
  std::vector<bool> named;     // a path or module names the file itself
};

// The signals of `mentions` for each of the `doc_count` files.
// `imports[d]` are the files doc d imports: a package named in the query
// passes part of its signal to the modules its __init__ imports.
MentionSignals score_mentions(const QueryMentions& mentions, const PathIndex& paths, const DefIndex& defs,
                              const std::vector<std::vector<uint32_t>>& imports, size_t doc_count);

}  // namespace lumenfold::tsl
