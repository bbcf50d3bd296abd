#pragma once
// The words of a query that rank files, and the key a query is stored
// under (action graph, retrieval cache, turn state).

#include <string>
#include <string_view>
#include <vector>

namespace lumenfold::lodestar {

// At most 8 distinct lower-case ASCII words of 3+ characters, stop words
// removed, in order of appearance.
std::vector<std::string> query_terms(std::string_view query);
// The query terms joined by single blanks.
std::string query_key(std::string_view query);
// `terms` (a query's query_terms) joined by single blanks: the query's key
// without splitting it again.
std::string join_terms(const std::vector<std::string>& terms);

}  // namespace lumenfold::lodestar
