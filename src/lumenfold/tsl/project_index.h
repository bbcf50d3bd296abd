#pragma once
// Everything the ranker looks up for one version of a project: the term
// index over paths, defined names and texts, the path and module index,
// the definition index and the relation edges resolved to files. Built once
// from a corpus; read-only afterwards.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lumenfold/common/text_hash.h"
#include "lumenfold/tsl/corpus.h"
#include "lumenfold/tsl/def_index.h"
#include "lumenfold/tsl/path_index.h"
#include "lumenfold/tsl/term_index.h"

namespace lumenfold::tsl {

struct IndexedFile {
  std::string id;
  std::string summary;
  std::vector<std::string> symbol_ids;
  int64_t size = 0;
  bool is_test = false;
  // The search term of the file's name (of its directory's for __init__
  // and index files), and how many files share it.
  std::string name_term;
  uint32_t name_shared = 1;
};

struct ResolvedEdge {
  CorpusEdge edge;  // as the graph holds it
  uint32_t from_doc;
  std::optional<uint32_t> to_doc;  // the file the target names, when one does
};

class ProjectIndex {
 public:
  // Indexes `corpus`; the file texts are dropped once indexed.
  explicit ProjectIndex(Corpus corpus, const Bm25Params& params = default_bm25_params(),
                        const Bm25Params& chunk_params = default_chunk_bm25_params());
  ProjectIndex(const ProjectIndex&) = delete;
  ProjectIndex& operator=(const ProjectIndex&) = delete;

  size_t doc_count() const { return files_.size(); }
  const std::vector<IndexedFile>& files() const { return files_; }
  const TermIndex& terms() const { return terms_; }
  // The same over each file's chunks (split_into_chunks); chunk_file()
  // maps a chunk to its file.
  const TermIndex& chunk_terms() const { return chunks_; }
  const std::vector<uint32_t>& chunk_file() const { return chunk_file_; }
  const PathIndex& paths() const { return *paths_; }
  const DefIndex& defs() const { return *defs_; }
  const std::vector<ResolvedEdge>& edges() const { return edges_; }
  // Indices into edges() of the edges from or to each doc.
  const std::vector<std::vector<uint32_t>>& edges_of() const { return edges_of_; }
  // The distinct files each doc imports or requires, in edge order.
  const std::vector<std::vector<uint32_t>>& imports() const { return imports_; }

 private:
  void index_file(const CorpusFile& file, const std::vector<SourceDef>& defs);
  void resolve_edges(std::vector<CorpusEdge> edges);
  void count_shared_names();
  // The term ids of one identifier run, interned once per distinct run:
  // code repeats its names, so most runs are looked up, not tokenized.
  const std::vector<uint32_t>& word_term_ids(std::string_view word);

  std::vector<IndexedFile> files_;
  std::shared_ptr<TermDictionary> dictionary_;
  TermIndex terms_;
  TermIndex chunks_;
  std::vector<uint32_t> chunk_file_;
  std::unique_ptr<PathIndex> paths_;
  std::unique_ptr<DefIndex> defs_;
  std::vector<ResolvedEdge> edges_;
  std::vector<std::vector<uint32_t>> edges_of_;
  std::vector<std::vector<uint32_t>> imports_;
  std::unordered_map<std::string, std::vector<uint32_t>, common::TextHash, std::equal_to<>> word_ids_;
};

}  // namespace lumenfold::tsl
