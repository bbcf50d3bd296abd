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

// Each value divided by the largest (all 0 when none is positive).
void scale_to_best(std::vector<double>& v) {
  double best = v.empty() ? 0 : *std::max_element(v.begin(), v.end());
  if (best <= 0) return;
  for (double& x : v) x /= best;
}

std::vector<double> text_scores(const ProjectIndex& index, const std::vector<WeightedTerm>& terms) {
  std::vector<double> scores(index.doc_count(), 0);
  index.terms().score(terms, scores);
  scale_to_best(scores);
  return scores;
}

// Each file's best chunk, scaled to the best chunk of all.
std::vector<double> best_chunk_scores(const ProjectIndex& index, const std::vector<WeightedTerm>& terms) {
  std::vector<double> chunks(index.chunk_file().size(), 0);
  index.chunk_terms().score(terms, chunks);
  std::vector<double> best(index.doc_count(), 0);
  for (size_t c = 0; c < chunks.size(); ++c) {
    uint32_t doc = index.chunk_file()[c];
    best[doc] = std::max(best[doc], chunks[c]);
  }
  scale_to_best(best);
  return best;
}

// How plainly the query says each file's name: the name term's idf
// (scaled to the largest possible), shared among the files of that name,
// and worth more on the first line.
std::vector<double> name_scores(const ProjectIndex& index, std::string_view query,
                                const std::vector<WeightedTerm>& terms, const RankWeights& w) {
  std::unordered_set<std::string> said;
  for (const WeightedTerm& t : terms) said.insert(t.term);
  std::unordered_set<std::string> title;
  for (std::string& t : tokenize(query.substr(0, query.find('\n')))) title.insert(std::move(t));
  double max_idf = std::log(1.0 + static_cast<double>(index.doc_count()) + 0.5);
  std::vector<double> scores(index.doc_count(), 0);
  for (uint32_t doc = 0; doc < index.doc_count(); ++doc) {
    const IndexedFile& f = index.files()[doc];
    if (f.name_term.empty() || !said.count(f.name_term)) continue;
    scores[doc] = index.terms().idf(f.name_term) / max_idf / static_cast<double>(f.name_shared);
    if (title.count(f.name_term)) scores[doc] *= w.name_title_factor;
  }
  return scores;
}

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
  std::vector<double> whole = text_scores(index, terms);
  std::vector<double> piece = best_chunk_scores(index, terms);
  MentionSignals m = score_mentions(find_mentions(query), index.paths(), index.defs(), index.imports(), n, w.mentions);
  std::vector<double> names = name_scores(index, query, terms, w);
  bool about_tests = query_is_about_tests(query);

  std::vector<RankedFile> all(n);
  for (uint32_t doc = 0; doc < n; ++doc) {
    RankedFile& r = all[doc];
    r.doc = doc;
    r.text = (1.0 - w.chunk_share) * whole[doc] + w.chunk_share * piece[doc];
    r.path = std::min(m.path[doc], w.max_path);
    r.module = m.module[doc];
    r.defs = saturate(m.defs[doc], w.def_saturation);
    r.name = names[doc];
    r.score = r.text + w.path * r.path + w.module * r.module + w.defs * r.defs + w.name * r.name;
    if (index.files()[doc].is_test && !about_tests && !m.named[doc]) r.score *= w.test_factor;
  }

  std::vector<RankedFile> ranked;
  for (const RankedFile& r : all) {
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
