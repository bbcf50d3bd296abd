#include "lumenfold/tsl/term_index.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumenfold::tsl {

Bm25Params default_bm25_params() {
  Bm25Params p;
  // Saturation: the third mention of a term adds little over the second.
  p.k1 = 1.2;
  // Path terms are few and decisive; defined names say what a file is
  // about; the text carries everything else. Large core files are where
  // fixes land, so the text is only partly normalised by length.
  p.fields[kPathField] = {3.0, 0.3};
  p.fields[kDefField] = {2.0, 0.5};
  p.fields[kTextField] = {1.0, 0.5};
  return p;
}

Bm25Params default_chunk_bm25_params() {
  Bm25Params p;
  p.k1 = 1.2;
  // A chunk's path is its file's; its defined name is the one it starts
  // with.
  p.fields[kPathField] = {1.0, 0.0};
  p.fields[kDefField] = {2.0, 0.0};
  p.fields[kTextField] = {1.0, 0.75};
  return p;
}

void TermIndex::begin_doc() { norms_.push_back({0, 0, 0}); }

uint32_t TermDictionary::intern(std::string_view term) {
  auto it = ids_.find(term);
  if (it != ids_.end()) return it->second;
  uint32_t id = static_cast<uint32_t>(ids_.size());
  ids_.emplace(std::string(term), id);
  return id;
}

std::optional<uint32_t> TermDictionary::find(std::string_view term) const {
  auto it = ids_.find(term);
  if (it == ids_.end()) return std::nullopt;
  return it->second;
}

uint32_t TermIndex::add(Field field, std::string_view term) {
  uint32_t id = dictionary_->intern(term);
  add_id(field, id);
  return id;
}

void TermIndex::add_id(Field field, uint32_t id) {
  if (id >= postings_.size()) {
    size_t n = std::max<size_t>(dictionary_->size(), id + 1);
    postings_.resize(n);
    current_.resize(n, {0, 0, 0});
  }
  std::array<uint16_t, kFieldCount>& counts = current_[id];
  if (counts[0] == 0 && counts[1] == 0 && counts[2] == 0) touched_.push_back(id);
  if (counts[field] < std::numeric_limits<uint16_t>::max()) ++counts[field];
  norms_.back()[field] += 1;
}

void TermIndex::end_doc() {
  uint32_t doc = static_cast<uint32_t>(norms_.size() - 1);
  for (uint32_t id : touched_) {
    postings_[id].push_back({doc, current_[id]});
    current_[id] = {0, 0, 0};
  }
  touched_.clear();
  for (int f = 0; f < kFieldCount; ++f) total_length_[f] += norms_.back()[f];
}

void TermIndex::finish() {
  current_.clear();
  current_.shrink_to_fit();
  double n = static_cast<double>(std::max<size_t>(norms_.size(), 1));
  for (std::array<float, kFieldCount>& doc : norms_) {
    for (int f = 0; f < kFieldCount; ++f) {
      double avg = std::max(total_length_[f] / n, 1.0);
      const FieldParams& fp = params_.fields[f];
      double normaliser = 1.0 - fp.b + fp.b * doc[f] / avg;
      doc[f] = static_cast<float>(fp.weight / std::max(normaliser, 1e-6));
    }
  }
}

const std::vector<TermIndex::Posting>* TermIndex::postings_of(std::string_view term) const {
  std::optional<uint32_t> id = dictionary_->find(term);
  if (!id || *id >= postings_.size()) return nullptr;
  return &postings_[*id];
}

uint32_t TermIndex::doc_frequency(std::string_view term) const {
  const std::vector<Posting>* list = postings_of(term);
  return list ? static_cast<uint32_t>(list->size()) : 0;
}

double TermIndex::idf(std::string_view term) const {
  uint32_t df = doc_frequency(term);
  if (df == 0) return 0;
  double n = static_cast<double>(doc_count());
  return std::log(1.0 + (n - df + 0.5) / (df + 0.5));
}

void TermIndex::score(const std::vector<WeightedTerm>& terms, std::vector<double>& scores) const {
  for (const WeightedTerm& t : terms) {
    const std::vector<Posting>* found = postings_of(t.term);
    if (found == nullptr || found->empty()) continue;
    const std::vector<Posting>& list = *found;
    double n = static_cast<double>(doc_count());
    double df = static_cast<double>(list.size());
    double weight = t.weight * std::log(1.0 + (n - df + 0.5) / (df + 0.5));
    for (const Posting& p : list) {
      const std::array<float, kFieldCount>& norm = norms_[p.doc];
      double tf = p.tf[0] * norm[0] + p.tf[1] * norm[1] + p.tf[2] * norm[2];
      scores[p.doc] += weight * tf / (params_.k1 + tf);
    }
  }
}

}  // namespace lumenfold::tsl
