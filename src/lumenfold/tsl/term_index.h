#pragma once
// An inverted index over three fields of every file, scored with BM25F:
// each field's term counts are length-normalised on their own and weighted
// before the usual saturation, so one mention of a term in a file's path
// or among the names it defines outweighs many mentions in its text.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lumenfold/common/text_hash.h"

namespace lumenfold::tsl {

enum Field : int { kPathField = 0, kDefField = 1, kTextField = 2, kFieldCount = 3 };

struct FieldParams {
  double weight;  // how much one occurrence counts, against the text field's 1
  double b;       // share of length normalisation (0: none, 1: full)
};

struct Bm25Params {
  double k1;
  std::array<FieldParams, kFieldCount> fields;
};

// The parameters the ranker uses for whole files, and for chunks of files.
Bm25Params default_bm25_params();
Bm25Params default_chunk_bm25_params();

// A query term with the weight of its occurrences in the query.
struct WeightedTerm {
  std::string term;
  double weight;
};

// Term ids shared by the indexes of one project, so that each term of a
// text is looked up once however many indexes count it.
class TermDictionary {
 public:
  // The id of `term`, adding it when new.
  uint32_t intern(std::string_view term);
  std::optional<uint32_t> find(std::string_view term) const;
  size_t size() const { return ids_.size(); }

 private:
  std::unordered_map<std::string, uint32_t, common::TextHash, std::equal_to<>> ids_;
};

class TermIndex {
 public:
  // An index with its own dictionary, or sharing `dictionary` with others.
  explicit TermIndex(Bm25Params params, std::shared_ptr<TermDictionary> dictionary = std::make_shared<TermDictionary>())
      : params_(params), dictionary_(std::move(dictionary)) {}

  // Starts the next document (numbered from 0 in order of calls).
  void begin_doc();
  // Counts one occurrence of `term` in `field` of the current document;
  // returns its id in the dictionary.
  uint32_t add(Field field, std::string_view term);
  // The same for a term already in the dictionary.
  void add_id(Field field, uint32_t term_id);
  // Ends the current document.
  void end_doc();
  // Freezes the index after the last document. REQUIRES: called once,
  // before any scoring.
  void finish();

  size_t doc_count() const { return norms_.size(); }
  // Number of documents containing `term` in any field (0 when unknown).
  uint32_t doc_frequency(std::string_view term) const;
  // ln(1 + (N - df + 0.5) / (df + 0.5)) of `term`; 0 for unknown terms.
  double idf(std::string_view term) const;

  // Adds the BM25F score of every document for `terms` to `scores` (sized
  // to doc_count() by the caller).
  void score(const std::vector<WeightedTerm>& terms, std::vector<double>& scores) const;

 private:
  struct Posting {
    uint32_t doc;
    std::array<uint16_t, kFieldCount> tf;
  };
  // The postings of `term_id`, or null when this index never saw it.
  const std::vector<Posting>* postings_of(std::string_view term) const;

  Bm25Params params_;
  std::shared_ptr<TermDictionary> dictionary_;
  std::vector<std::vector<Posting>> postings_;
  // Per document and field: the field's length until finish(), then the
  // field's weight divided by its length normaliser.
  std::vector<std::array<float, kFieldCount>> norms_;
  std::array<double, kFieldCount> total_length_{};
  // Counts of the document being added, by term id; `touched_` lists the
  // ids to flush at end_doc.
  std::vector<std::array<uint16_t, kFieldCount>> current_;
  std::vector<uint32_t> touched_;
};

}  // namespace lumenfold::tsl
