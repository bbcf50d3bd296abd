#include "lumenfold/lodestar/cache/cache_key.h"

#include "lumenfold/lodestar/graph/query_terms.h"

namespace lumenfold::lodestar {

std::string cache_key(std::string_view query, int64_t top_files, int64_t top_edges) {
  return cache_key_of_query_key(query_key(query), top_files, top_edges);
}

std::string cache_key_of_query_key(std::string_view key, int64_t top_files, int64_t top_edges) {
  return std::string(key) + "|tf=" + std::to_string(top_files) + "|te=" + std::to_string(top_edges);
}

}  // namespace lumenfold::lodestar
