#include "lumenfold/tsl/project_index.h"

#include <algorithm>
#include <unordered_map>

#include "lumenfold/surveyor/language.h"
#include "lumenfold/surveyor/syntax_facts.h"
#include "lumenfold/tsl/chunks.h"
#include "lumenfold/tsl/source_defs.h"
#include "lumenfold/tsl/test_files.h"
#include "lumenfold/tsl/tokenizer.h"

namespace lumenfold::tsl {
namespace {

// The id without its extension: "py" in every path says nothing.
std::string_view id_without_extension(std::string_view id) {
  size_t slash = id.rfind('/');
  size_t dot = id.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return id;
  return id.substr(0, dot);
}

// File names that only say "this directory's module".
constexpr std::string_view kDirectoryStandIns[] = {"__init__", "index", "mod", "main", "__main__"};

// The term a query would use for the file: its name's compound term (or
// single part), or its directory's when the name stands for the directory.
std::string name_term_of(std::string_view id) {
  std::string_view path = id_without_extension(id);
  size_t slash = path.rfind('/');
  std::string_view stem = slash == std::string_view::npos ? path : path.substr(slash + 1);
  for (std::string_view standin : kDirectoryStandIns) {
    if (stem == standin && slash != std::string_view::npos) {
      std::string_view dir = path.substr(0, slash);
      size_t up = dir.rfind('/');
      stem = up == std::string_view::npos ? dir : dir.substr(up + 1);
      break;
    }
  }
  std::vector<std::string> terms = tokenize(stem);
  return terms.empty() ? "" : terms.back();
}

// A file a grammar read has exact definitions from the scanner, which also
// sees those no keyword announces (C++ and Java methods); the keyword scan
// serves the other files, and graphs written before the grammar read them.
std::vector<SourceDef> definitions(CorpusFile& file) {
  if (file.symbol_defs.empty() || !surveyor::has_grammar(surveyor::language_of(file.ext))) {
    return extract_source_defs(file.text, file.ext);
  }
  std::stable_sort(file.symbol_defs.begin(), file.symbol_defs.end(),
                   [](const SourceDef& a, const SourceDef& b) { return a.line < b.line; });
  return std::move(file.symbol_defs);
}

}  // namespace

const std::vector<uint32_t>& ProjectIndex::word_term_ids(std::string_view word) {
  auto it = word_ids_.find(word);
  if (it != word_ids_.end()) return it->second;
  std::vector<std::string> terms;
  append_word_terms(word, terms);
  std::vector<uint32_t> ids;
  ids.reserve(terms.size());
  for (const std::string& t : terms) ids.push_back(dictionary_->intern(t));
  return word_ids_.emplace(std::string(word), std::move(ids)).first->second;
}

void ProjectIndex::count_shared_names() {
  std::unordered_map<std::string, uint32_t> counts;
  for (const IndexedFile& f : files_) ++counts[f.name_term];
  for (IndexedFile& f : files_) f.name_shared = counts[f.name_term];
}

ProjectIndex::ProjectIndex(Corpus corpus, const Bm25Params& params, const Bm25Params& chunk_params)
    : dictionary_(std::make_shared<TermDictionary>()), terms_(params, dictionary_), chunks_(chunk_params, dictionary_) {
  std::vector<std::string> ids;
  std::vector<std::vector<SourceDef>> defs;
  ids.reserve(corpus.files.size());
  defs.reserve(corpus.files.size());
  for (CorpusFile& file : corpus.files) {
    defs.push_back(definitions(file));
    index_file(file, defs.back());
    ids.push_back(file.id);
    std::string().swap(file.text);
  }
  terms_.finish();
  chunks_.finish();
  count_shared_names();
  paths_ = std::make_unique<PathIndex>(ids);
  defs_ = std::make_unique<DefIndex>(defs);
  resolve_edges(std::move(corpus.edges));
  decltype(word_ids_)().swap(word_ids_);
}

void ProjectIndex::index_file(const CorpusFile& file, const std::vector<SourceDef>& defs) {
  terms_.begin_doc();
  std::vector<uint32_t> path_ids;
  for_each_term(id_without_extension(file.id),
                [&](std::string_view t) { path_ids.push_back(terms_.add(kPathField, t)); });
  for (const SourceDef& d : defs) {
    for_each_term(d.name, [&](std::string_view t) { terms_.add(kDefField, t); });
  }
  for_each_term(file.summary, [&](std::string_view t) { terms_.add(kTextField, t); });
  uint32_t doc = static_cast<uint32_t>(files_.size());
  for (const Chunk& chunk : split_into_chunks(file.text, defs)) {
    chunks_.begin_doc();
    chunk_file_.push_back(doc);
    for (uint32_t id : path_ids) chunks_.add_id(kPathField, id);
    if (chunk.def != nullptr) {
      for_each_term(chunk.def->owner, [&](std::string_view t) { chunks_.add(kDefField, t); });
      for_each_term(chunk.def->name, [&](std::string_view t) { chunks_.add(kDefField, t); });
    }
    for_each_word(chunk.text, [&](std::string_view word) {
      for (uint32_t id : word_term_ids(word)) {
        terms_.add_id(kTextField, id);
        chunks_.add_id(kTextField, id);
      }
    });
    chunks_.end_doc();
  }
  terms_.end_doc();

  IndexedFile f;
  f.id = file.id;
  f.summary = file.summary;
  f.symbol_ids = file.symbol_ids;
  f.size = file.size;
  f.is_test = is_test_file(file.id);
  f.name_term = name_term_of(file.id);
  files_.push_back(std::move(f));
}

void ProjectIndex::resolve_edges(std::vector<CorpusEdge> edges) {
  edges_of_.assign(files_.size(), {});
  imports_.assign(files_.size(), {});
  for (CorpusEdge& e : edges) {
    std::optional<uint32_t> from = paths_->find(e.from);
    if (!from) continue;
    std::optional<uint32_t> to = paths_->resolve(*from, e.to);
    uint32_t n = static_cast<uint32_t>(edges_.size());
    edges_of_[*from].push_back(n);
    if (to && *to != *from) {
      edges_of_[*to].push_back(n);
      std::vector<uint32_t>& imported = imports_[*from];
      if (e.rel != "references" && std::find(imported.begin(), imported.end(), *to) == imported.end()) {
        imported.push_back(*to);
      }
    }
    edges_.push_back({std::move(e), *from, to});
  }
}

}  // namespace lumenfold::tsl
