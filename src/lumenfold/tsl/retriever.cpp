#include "lumenfold/tsl/retriever.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "lumenfold/tsl/corpus.h"
#include "lumenfold/tsl/edge_selection.h"
#include "lumenfold/tsl/project_index.h"
#include "lumenfold/tsl/query_mentions.h"
#include "lumenfold/tsl/score_bands.h"
#include "lumenfold/tsl/symbol_match.h"
#include "lumenfold/tsl/tokenizer.h"

namespace lumenfold::tsl {
namespace {

using common::Json;

// Enough symbols for a targeted read without repeating the file's outline.
constexpr size_t kSymbolsPerFile = 3;

QueryWords query_words(std::string_view query) {
  QueryWords words;
  for_each_term(query, [&](std::string_view t) { words.terms.emplace(t); });
  for (NameMention& n : find_mentions(query).names) words.names.insert(std::move(n.name));
  return words;
}

Json file_item(const IndexedFile& file, int confidence, const QueryWords& words, const ProjectIndex& index) {
  Json item = Json::object();
  item["id"] = file.id;
  item["_score"] = confidence;
  item["symbols"] = best_symbols(file.symbol_ids, words, index.terms(), kSymbolsPerFile);
  item["summary"] = file.summary;
  return item;
}

Json edge_item(const CorpusEdge& edge) {
  Json item = Json::object();
  item["from"] = edge.from;
  item["to"] = edge.to;
  item["rel"] = edge.rel;
  return item;
}

}  // namespace

Retriever::Retriever() = default;
Retriever::~Retriever() = default;

const ProjectIndex& Retriever::index_for(const Json& graph) {
  std::string fingerprint = graph_fingerprint(graph);
  if (!index_ || fingerprint != fingerprint_) {
    index_.reset();  // free the old index before building the new one
    index_ = std::make_unique<ProjectIndex>(load_corpus(graph));
    fingerprint_ = std::move(fingerprint);
  }
  return *index_;
}

Json Retriever::retrieve(const Json& graph, std::string_view query, int64_t top_files, int64_t top_edges) {
  const ProjectIndex& index = index_for(graph);
  std::vector<RankedFile> ranked = rank_files(index, query, weights_);
  size_t keep = std::min<size_t>(ranked.size(), static_cast<size_t>(std::max<int64_t>(top_files, 1)));
  // The top file's confidence depends on its lead over the second, so the
  // second counts even when only one file is returned.
  std::vector<double> scores;
  for (size_t i = 0; i < ranked.size() && i <= keep; ++i) scores.push_back(ranked[i].score);
  std::vector<int> confidence = confidence_scores(scores);
  ranked.resize(keep);
  std::vector<uint32_t> docs;
  for (const RankedFile& r : ranked) docs.push_back(r.doc);
  QueryWords words = query_words(query);
  Json files = Json::array();
  for (size_t i = 0; i < ranked.size(); ++i) {
    files.push_back(file_item(index.files()[docs[i]], confidence[i], words, index));
  }
  Json edges = Json::array();
  size_t edge_limit = static_cast<size_t>(std::max<int64_t>(top_edges, 0));
  for (uint32_t e : select_edges(index, docs, edge_limit)) edges.push_back(edge_item(index.edges()[e].edge));

  Json out = Json::object();
  out["files"] = std::move(files);
  out["edges"] = std::move(edges);
  return out;
}

}  // namespace lumenfold::tsl
