#pragma once
// Which of a file's symbols a query is about, so that the agent can read
// `file::symbol` instead of the whole file.

#include <string>
#include <unordered_set>
#include <vector>

namespace lumenfold::tsl {

class TermIndex;

struct QueryWords {
  std::unordered_set<std::string> terms;  // the query's search terms
  std::unordered_set<std::string> names;  // identifiers the query writes as code
};

// Up to `limit` of `symbol_ids` ("file::name"), best first: a symbol whose
// name the query writes exactly comes first, then by the summed idf of the
// name's terms that the query has. Symbols that match nothing are left
// out; ties keep the file's order.
std::vector<std::string> best_symbols(const std::vector<std::string>& symbol_ids, const QueryWords& query,
                                      const TermIndex& index, size_t limit);

}  // namespace lumenfold::tsl
