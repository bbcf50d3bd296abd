#include "lumenfold/tsl/ranker.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_set>

#include "lumenfold/tsl/mention_scores.h"
#include "lumenfold/tsl/query_mentions.h"
#include "lumenfold/tsl/test_files.h"
#include "lumenfold/tsl/tokenizer.h"

namespace lumenfold::tsl {
namespace {

double saturate(double x, double scale) { return 1.0 - std::exp(-x / scale); }

}  // namespace

std::vector<WeightedTerm> weigh_query_terms(std::string_view query) {
  std::map<std::string, int> counts;
  for_each_term(query, [&](std::string_view t) { ++counts[std::string(t)]; });
  std::vector<WeightedTerm> terms;
  terms.reserve(counts.size());
  for (auto& [term, n] : counts) terms.push_back({term, 1.0 + std::log(static_cast<double>(n))});
  return terms;
}

std::vector<RankedFile> rank_files(const ProjectIndex& index, std::string_view query, const RankWeights& w) {
  size_t n = index.doc_count();
  std::vector<WeightedTerm> terms = weigh_query_terms(query);
  std::vector<double> text(n, 0);
  index.terms().score(terms, text);
  double best_text = n == 0 ? 0 : *std::max_element(text.begin(), text.end());
  std::vector<double> chunk_scores(index.chunk_file().size(), 0);
  index.chunk_terms().score(terms, chunk_scores);
  std::vector<double> best_chunk(n, 0);
  for (size_t c = 0; c < chunk_scores.size(); ++c) {
    uint32_t doc = index.chunk_file()[c];
    best_chunk[doc] = std::max(best_chunk[doc], chunk_scores[c]);
  }
  double top_chunk = n == 0 ? 0 : *std::max_element(best_chunk.begin(), best_chunk.end());
  MentionSignals m = score_mentions(find_mentions(query), index.paths(), index.defs(), index.imports(), n, w.mentions);
  bool about_tests = query_is_about_tests(query);
  std::unordered_set<std::string> said;
  for (const WeightedTerm& t : terms) said.insert(t.term);
  double max_idf = std::log(1.0 + static_cast<double>(n) + 0.5);

  std::vector<RankedFile> ranked;
  for (uint32_t doc = 0; doc < n; ++doc) {
    RankedFile r;
    r.doc = doc;
    double whole = best_text > 0 ? text[doc] / best_text : 0;
    double piece = top_chunk > 0 ? best_chunk[doc] / top_chunk : 0;
    r.text = (1.0 - w.chunk_share) * whole + w.chunk_share * piece;
    r.path = std::min(m.path[doc], w.max_path);
    r.module = m.module[doc];
    r.defs = saturate(m.defs[doc], w.def_saturation);
    const IndexedFile& f = index.files()[doc];
    if (!f.name_term.empty() && said.count(f.name_term)) {
      r.name = index.terms().idf(f.name_term) / max_idf / static_cast<double>(f.name_shared);
    }
    r.score = r.text + w.path * r.path + w.module * r.module + w.defs * r.defs + w.name * r.name;
    if (index.files()[doc].is_test && !about_tests && !m.named[doc]) r.score *= w.test_factor;
    if (r.score > 0) ranked.push_back(r);
  }
  const std::vector<IndexedFile>& files = index.files();
  std::sort(ranked.begin(), ranked.end(), [&](const RankedFile& a, const RankedFile& b) {
    if (a.score != b.score) return a.score > b.score;
    return files[a.doc].id < files[b.doc].id;
  });
  return ranked;
}

}  // namespace lumenfold::tsl
