#pragma once
// Cutting a file's text down to what one graph_read returns: the lines of a
// symbol, then either the part around an anchor or an excerpt around the
// query's terms.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

inline constexpr char kStaleSymbolReason[] =
    "symbol body changed since last graph scan \xE2\x80\x94 consider running graph_scan again";

struct ReadCut {
  std::string content;
  // "full", "symbol_excerpt", "query_excerpt", "head", "anchor_excerpt" or
  // "anchor_fallback_head".
  std::string_view mode;
  // The symbol's lines no longer hash to its stored body hash.
  bool stale = false;
};

// Cuts `text` for a read granted `granted` characters (code points):
//   1. with a `symbol` record ({"line_start", "line_end", "body_hash"}, 0-based
//      inclusive lines): only those lines, joined by "\n"; stale when its
//      non-empty body hash differs from the short hash of those lines;
//   2. without an anchor: text longer than `granted` becomes an excerpt
//      around the query's `terms` (query_terms.h)
//      ("query_excerpt"), or its head when there are none ("head");
//   3. with an anchor: the `granted` characters centred on its first
//      case-insensitive occurrence, or the head when it does not occur.
// `symbol` may be null. A negative `granted` counts as 0.
ReadCut cut_for_read(std::string text, const common::Json* symbol, const std::vector<std::string>& terms,
                     std::string_view anchor, int64_t granted);

}  // namespace lumenfold::lodestar
