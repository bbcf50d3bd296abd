#include "lumenfold/lodestar/cache/cache_key.h"

#include "lumenfold/lodestar/graph/query_terms.h"

namespace lumenfold::lodestar {

std::string cache_key(std::string_view query, int64_t top_files, int64_t top_edges) {
  return query_key(query) + "|tf=" + std::to_string(top_files) + "|te=" + std::to_string(top_edges);
}

}  // namespace lumenfold::lodestar
