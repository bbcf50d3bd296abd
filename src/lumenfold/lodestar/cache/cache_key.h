#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumenfold::lodestar {

// The retrieval cache key: query_key(query) + "|tf=" + top_files + "|te=" +
// top_edges, numbers in decimal ("login handler|tf=5|te=12"). Queries that
// differ only in case, punctuation, stop words, short or repeated words
// share a key.
std::string cache_key(std::string_view query, int64_t top_files, int64_t top_edges);
// The same from the query's key (query_key), for a caller that has it.
std::string cache_key_of_query_key(std::string_view key, int64_t top_files, int64_t top_edges);

}  // namespace lumenfold::lodestar
