#include "lumenfold/tsl/symbol_match.h"

#include <algorithm>
#include <string_view>

#include "lumenfold/tsl/term_index.h"
#include "lumenfold/tsl/tokenizer.h"

namespace lumenfold::tsl {
namespace {

// An exact name outranks any overlap of its parts.
constexpr double kExactNameScore = 100.0;

std::string_view symbol_name(std::string_view id) {
  size_t sep = id.find("::");
  return sep == std::string_view::npos ? id : id.substr(sep + 2);
}

double match_score(std::string_view name, const QueryWords& query, const TermIndex& index) {
  double score = query.names.count(std::string(name)) ? kExactNameScore : 0.0;
  std::vector<std::string> seen;
  for_each_term(name, [&](std::string_view t) {
    if (!query.terms.count(std::string(t)) || std::find(seen.begin(), seen.end(), t) != seen.end()) return;
    seen.emplace_back(t);
    score += index.idf(t);
  });
  return score;
}

}  // namespace

std::vector<std::string> best_symbols(const std::vector<std::string>& symbol_ids, const QueryWords& query,
                                      const TermIndex& index, size_t limit) {
  struct Scored {
    double score;
    size_t order;
  };
  std::vector<Scored> scored;
  for (size_t i = 0; i < symbol_ids.size(); ++i) {
    double s = match_score(symbol_name(symbol_ids[i]), query, index);
    if (s > 0) scored.push_back({s, i});
  }
  std::stable_sort(scored.begin(), scored.end(), [](const Scored& a, const Scored& b) { return a.score > b.score; });
  std::vector<std::string> out;
  for (size_t i = 0; i < scored.size() && out.size() < limit; ++i) out.push_back(symbol_ids[scored[i].order]);
  return out;
}

}  // namespace lumenfold::tsl
