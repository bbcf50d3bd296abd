#include "lumenfold/surveyor/scan.h"

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <iterator>
#include <mutex>
#include <thread>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/hash.h"
#include "lumenfold/common/json_simd.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/surveyor/file_id.h"
#include "lumenfold/surveyor/graph_documents.h"
#include "lumenfold/surveyor/keywords.h"
#include "lumenfold/surveyor/language.h"
#include "lumenfold/surveyor/relations.h"
#include "lumenfold/surveyor/summary.h"
#include "lumenfold/surveyor/symbols.h"
#include "lumenfold/surveyor/syntax_facts.h"
#include "lumenfold/surveyor/walk.h"

namespace lumenfold::surveyor {

namespace fs = std::filesystem;
using common::Json;

namespace {

template <typename T>
T member_or(const Json& old, const char* key, T fallback) {
  auto it = old.find(key);
  if (it == old.end()) return fallback;
  try {
    return it->get<T>();
  } catch (const nlohmann::json::exception&) {
    // A member of the wrong type in an old graph is as good as absent.
    return fallback;
  }
}

std::string cut_content(std::string_view text) { return std::string(common::cut_code_points(text, kMaxContentChars)); }

// A file node from the previous graph's entry, its analyses kept.
Node reuse_file_node(const Json& old, const std::string& file_id, const std::string& ext, int64_t size,
                     std::string_view text, const std::string& fhash) {
  Node n;
  n.id = member_or<std::string>(old, "id", file_id);
  n.kind = member_or<std::string>(old, "kind", "file");
  n.path = member_or<std::string>(old, "path", file_id);
  n.ext = member_or<std::string>(old, "ext", ext);
  n.size = member_or<int64_t>(old, "size", size);
  n.keywords = member_or<std::vector<std::string>>(old, "keywords", {});
  n.content = member_or<std::string>(old, "content", cut_content(text));
  n.summary = member_or<std::string>(old, "summary", "");
  n.file_hash = fhash;
  return n;
}

Node fresh_file_node(const std::string& file_id, const std::string& ext, int64_t size, std::string_view text,
                     const std::string& fhash) {
  Node n;
  n.summary = make_summary(text, file_id, ext);
  n.id = file_id;
  n.path = file_id;
  n.kind = "file";
  n.ext = ext;
  n.size = size;
  n.keywords = extract_keywords(text, ext);
  n.content = cut_content(text);
  n.file_hash = fhash;
  return n;
}

// What tells one edge from another.
std::string edge_key(const Edge& e) { return e.from + '\0' + e.to + '\0' + e.rel; }

}  // namespace

std::optional<std::string> read_source_text(const fs::path& path, int64_t* size) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  *size = static_cast<int64_t>(st.st_size);
  if (*size > kMaxFileBytes) return std::nullopt;
  std::optional<std::string> bytes = common::read_file(path);
  if (!bytes) return std::nullopt;
  return common::normalize_newlines(common::drop_invalid_utf8(*bytes));
}

std::vector<Edge> dedupe_edges(const std::vector<Edge>& edges) {
  std::unordered_set<std::string> seen;
  std::vector<Edge> unique;
  for (const Edge& e : edges) {
    if (seen.insert(edge_key(e)).second) unique.push_back(e);
  }
  return unique;
}

namespace {

// A modification time this close to the scan's start may yet be followed
// by a change within the same timestamp tick, so it is not trusted: the
// next scan reads the file again.
constexpr int64_t kRecentChangeNs = 2'000'000'000;

int64_t now_ns() {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// What one file contributes to the documents, laid out as they lay it out:
// its nodes (the file's, then its symbols') at depth 2 joined by ",\n", its
// edges likewise, its symbol index entries joined by ", ". An unchanged
// file's parts are the previous documents' (its record says where); a
// skipped file has none.
struct FileResult {
  bool kept = false;
  bool reused = false;
  std::string id;
  FileRecord record;
  std::string nodes, edges, index;
  std::vector<std::string> index_ids;
  // The edges of an analysed file whose id another file has too, each once.
  std::vector<Edge> edge_list;
};

// The file ids that more than one walked file has (two links to one file):
// such files are always analysed, and their edges checked against those of
// the others under the same id.
std::unordered_set<std::string> shared_ids(const std::vector<std::string>& ids) {
  std::unordered_set<std::string> seen, shared;
  for (const std::string& id : ids) {
    if (!seen.insert(id).second) shared.insert(id);
  }
  return shared;
}

// Appends `value` to a list part: an item of a top-level list of the graph,
// after the items before it.
void append_item(std::string& out, const Json& value) {
  if (!out.empty()) out += ",\n";
  out += "    ";
  common::append_indented(out, value, 2);
}

void append_edges(std::string& out, const std::vector<Edge>& edges) {
  for (const Edge& e : edges) append_item(out, edge_to_json(e));
}

// Turns walked files into their results; one per scan, shared by the
// workers (it holds nothing that changes).
class FileScanner {
 public:
  FileScanner(const PreviousScan& previous, const ScanOptions& options,
              const std::unordered_set<std::string>& shared_ids)
      : previous_(previous),
        shared_ids_(shared_ids),
        full_(options.full),
        trusted_before_ns_(now_ns() - kRecentChangeNs) {}

  // The result of the walked file whose id is `id`.
  FileResult scan(const WalkedFile& walked, const std::string& id) const {
    FileResult result;
    const fs::path& p = walked.path;
    const std::optional<common::FileStamp> stamp = common::file_stamp(p);
    if (!stamp || stamp->size > kMaxFileBytes) return result;
    result.id = id;
    const auto before = shared_ids_.contains(result.id) ? previous_.files.end() : previous_.files.find(result.id);
    const bool known = before != previous_.files.end();
    if (!full_ && known && before->second.trusted && before->second.stamp == *stamp) {
      reuse(before->second, result);
      return result;
    }

    int64_t size = 0;
    std::optional<std::string> text = read_source_text(p, &size);
    if (!text) return result;
    const std::string fhash = common::short_hash(*text);
    const bool trusted = stamp->mtime_ns < trusted_before_ns_;
    if (known && before->second.hash == fhash) {
      // The same text: the same parts, under its new stamp.
      reuse(before->second, result);
    } else {
      result.kept = true;
      result.record.hash = fhash;
      analyse(p, common::to_lower(extension_of(p)), size, *text, result);
    }
    result.record.stamp = *stamp;
    result.record.trusted = trusted;
    return result;
  }

 private:
  void reuse(const FileRecord& before, FileResult& result) const {
    result.kept = true;
    result.reused = true;
    result.record = before;
  }

  // Keywords, summary, relations and symbols from the text.
  void analyse(const fs::path& p, const std::string& ext, int64_t size, const std::string& text,
               FileResult& result) const {
    const std::string& file_id = result.id;
    const std::string& fhash = result.record.hash;
    std::vector<Json> nodes;
    std::vector<Edge> edges;
    // Without a trusted state, an old node of the same text keeps its
    // keywords, summary and content. With one, a file of the same text was
    // taken whole before it got here.
    const auto old = previous_.file_nodes.find(file_id);
    const bool same_text = old != previous_.file_nodes.end() && old->second.is_object() &&
                           member_or<std::string>(old->second, "file_hash", "") == fhash;
    Node file = same_text ? reuse_file_node(old->second, file_id, ext, size, text, fhash)
                          : fresh_file_node(file_id, ext, size, text, fhash);
    nodes.push_back(as_dict(file));

    // A file a grammar reads is parsed once, for its symbols and its imports.
    const Language language = language_of(ext);
    SyntaxFacts syntax = has_grammar(language) ? read_syntax(text, file_id, language) : SyntaxFacts{};
    edges = parse_relations_from(file_id, p, text, syntax.imports);
    int64_t symbols = file.kind == "symbol" ? 1 : 0;
    if (has_symbol_extractor(language)) {
      std::vector<Node> symbol_nodes;
      append_symbol_nodes(
          symbol_nodes, edges,
          has_grammar(language) ? std::move(syntax.symbols) : extract_symbols_for_file(text, file_id, ext), file_id,
          ext);
      for (const Node& s : symbol_nodes) nodes.push_back(as_dict(s));
      symbols += static_cast<int64_t>(symbol_nodes.size());
    }
    lay_out(nodes, dedupe_edges(edges), symbols, result);
    if (!shared_ids_.contains(file_id)) result.edge_list.clear();
  }

  // The parts of an analysed file. Every edge is from the file itself, so
  // removing its repeats here removes every repeat in the graph, but for
  // files that share an id (the assembler sees to those).
  static void lay_out(const std::vector<Json>& nodes, std::vector<Edge> edges, int64_t symbols, FileResult& result) {
    for (const Json& n : nodes) append_item(result.nodes, n);
    append_edges(result.edges, edges);
    result.index_ids = append_symbol_index_entries(result.index, nodes);
    FileRecord& r = result.record;
    r.node_count = static_cast<int64_t>(nodes.size());
    r.symbol_count = symbols;
    r.edge_count = static_cast<int64_t>(edges.size());
    result.edge_list = std::move(edges);
    r.index_count = static_cast<int64_t>(result.index_ids.size());
    r.nodes.size = result.nodes.size();
    r.edges.size = result.edges.size();
    r.index.size = result.index.size();
  }

  const PreviousScan& previous_;
  const std::unordered_set<std::string>& shared_ids_;
  bool full_;
  int64_t trusted_before_ns_;
};

// Puts the files' parts together into the two documents, in walk order.
class DocumentAssembler {
 public:
  DocumentAssembler(const fs::path& root, const PreviousScan& previous,
                    const std::unordered_set<std::string>& shared_ids, ScanDocuments& docs)
      : previous_(previous), shared_ids_(shared_ids), docs_(docs) {
    common::append_indented(root_, Json(root.string()), 1);
    // The nodes are laid out after room for the graph's head, so that the
    // graph is the nodes' own text, never copied. A rescan's documents are
    // about the size of the previous ones: growing to that size by
    // doubling would copy them several times over.
    room_ = kHeadLength + root_.size();
    nodes_.reserve(std::max(previous.graph.size(), room_));
    nodes_.assign(room_, ' ');
    edges_.reserve(previous.graph.size() / 8);
    index_.reserve(previous.index.size());
    index_ = "{";
  }

  void add(FileResult& file) {
    if (!file.kept) return;
    FileRecord& r = file.record;
    const bool shared = shared_ids_.contains(file.id);
    if (shared) drop_repeated_edges(file);
    const std::string_view nodes =
        file.reused ? std::string_view(previous_.graph).substr(r.nodes.at, r.nodes.size) : file.nodes;
    const std::string_view edges =
        file.reused ? std::string_view(previous_.graph).substr(r.edges.at, r.edges.size) : file.edges;
    const std::string_view index =
        file.reused ? std::string_view(previous_.index).substr(r.index.at, r.index.size) : file.index;
    r.nodes.at = place(nodes_, room_, ",\n", nodes);
    r.edges.at = place(edges_, 0, ",\n", edges);
    r.index.at = place(index_, 1, ", ", index);
    docs_.node_count += r.node_count;
    docs_.symbol_count += r.symbol_count;
    docs_.edge_count += r.edge_count;
    docs_.index_count += r.index_count;
    for (std::string& id : file.index_ids) repeated_ids_ |= !index_ids_.insert(std::move(id)).second;
    // One record per id: a shared id's files are analysed on every scan.
    if (!shared) docs_.records.emplace_back(std::move(file.id), std::move(r));
  }

  void finish() {
    docs_.file_count = docs_.node_count - docs_.symbol_count;
    std::string head = "{\n  \"root\": " + root_;
    for (const auto& [key, count] : {std::pair{"node_count", docs_.node_count},
                                     {"edge_count", docs_.edge_count},
                                     {"file_count", docs_.file_count},
                                     {"symbol_count", docs_.symbol_count}}) {
      head += ",\n  \"";
      head += key;
      head += "\": ";
      head += std::to_string(count);
    }
    head += ",\n  \"nodes\": ";
    const bool no_nodes = nodes_.size() == room_;
    head += no_nodes ? "[]" : "[\n";
    // The head takes the end of the room; what is left of it goes.
    nodes_.replace(room_ - head.size(), head.size(), head);
    nodes_.erase(0, room_ - head.size());
    std::string& graph = docs_.graph;
    graph = std::move(nodes_);
    if (!no_nodes) graph += "\n  ]";
    graph += ",\n  \"edges\": ";
    const size_t edges_at = open_list(graph, edges_);
    graph += "\n}";
    for (auto& [id, r] : docs_.records) {
      r.nodes.at = r.nodes.at - room_ + head.size();
      r.edges.at += edges_at;
    }
    docs_.index = std::move(index_);
    docs_.index += "}";
    // Two symbols under one id (an old node of an odd kind kept): the
    // index's own rule, the later entry's values at the first one's place,
    // decides, on the whole graph.
    if (repeated_ids_) {
      const Json index = build_symbol_index(common::parse_json(graph).value_or(Json::object())["nodes"]);
      docs_.index = common::dump_spaced(index);
      docs_.index_count = static_cast<int64_t>(index.size());
      for (auto& [id, r] : docs_.records) r.index = {};
    }
  }

 private:
  // The edges of a file whose id an earlier file had too, without those
  // that file already gave.
  void drop_repeated_edges(FileResult& file) {
    std::unordered_set<std::string>& keys = shared_edge_keys_[file.id];
    std::vector<Edge> kept;
    for (Edge& e : file.edge_list) {
      if (keys.insert(edge_key(e)).second) kept.push_back(std::move(e));
    }
    file.edges.clear();
    append_edges(file.edges, kept);
    file.record.edge_count = static_cast<int64_t>(kept.size());
    file.record.edges.size = file.edges.size();
  }

  // Appends `part` to the items of `list`, which start at `first`, after
  // `separator`; returns where it starts.
  static size_t place(std::string& list, size_t first, std::string_view separator, std::string_view part) {
    if (part.empty()) return list.size();
    if (list.size() > first) list += separator;
    const size_t at = list.size();
    list += part;
    return at;
  }

  // Appends the list's brackets around its items; returns where the items
  // start in `out`.
  static size_t open_list(std::string& out, const std::string& items) {
    if (items.empty()) {
      out += "[]";
      return out.size();
    }
    out += "[\n";
    const size_t at = out.size();
    out += items;
    out += "\n  ]";
    return at;
  }

  // Room for the graph's head beside the root: "{", the root's key and
  // four counts' lines, the nodes' key, with plenty to spare.
  static constexpr size_t kHeadLength = 256;

  const PreviousScan& previous_;
  const std::unordered_set<std::string>& shared_ids_;
  ScanDocuments& docs_;
  std::string root_;  // the root as a JSON text
  size_t room_ = 0;
  std::string nodes_, edges_, index_;
  std::unordered_map<std::string, std::unordered_set<std::string>> shared_edge_keys_;
  std::unordered_set<std::string> index_ids_;
  bool repeated_ids_ = false;
};

// Results handed from the workers to the scanning thread, which takes them
// in walk order so that the documents do not depend on who finished first.
class OrderedResults {
 public:
  explicit OrderedResults(size_t count) : slots_(count) {}

  void put(size_t i, FileResult result, std::exception_ptr error) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slots_[i].result = std::move(result);
      slots_[i].error = std::move(error);
      slots_[i].ready = true;
    }
    ready_.notify_all();
  }

  // Waits for result `i`; rethrows what its worker threw.
  FileResult take(size_t i) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return slots_[i].ready; });
    if (slots_[i].error) std::rethrow_exception(slots_[i].error);
    return std::move(slots_[i].result);
  }

 private:
  struct Slot {
    bool ready = false;
    FileResult result;
    std::exception_ptr error;
  };
  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<Slot> slots_;
};

unsigned worker_count(unsigned jobs, size_t files) {
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::min<size_t>(jobs, std::max<size_t>(files, 1)));
}

}  // namespace

ScanDocuments scan_documents(const fs::path& root, const PreviousScan& previous, const ScanOptions& options) {
  fs::path resolved_root;
  const std::vector<WalkedFile> walked = walk_files_resolved(root, &resolved_root);
  const ScanProgress& progress = options.progress;
  if (progress) progress(0, walked.size());
  std::vector<std::string> ids;
  ids.reserve(walked.size());
  for (const WalkedFile& w : walked) ids.push_back(rel_resolved(w.resolved, resolved_root));
  const std::unordered_set<std::string> shared = shared_ids(ids);
  const FileScanner scanner(previous, options, shared);

  OrderedResults results(walked.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next++; i < walked.size(); i = next++) {
      try {
        results.put(i, scanner.scan(walked[i], ids[i]), nullptr);
      } catch (...) {
        results.put(i, {}, std::current_exception());
      }
    }
  };
  const unsigned jobs = worker_count(options.jobs, walked.size());
  std::vector<std::jthread> workers;
  // With one job the scanning thread does the work itself, between takes.
  for (unsigned j = 0; j < jobs && jobs > 1; ++j) workers.emplace_back(work);

  ScanDocuments docs;
  DocumentAssembler assembler(root, previous, shared, docs);
  for (size_t i = 0; i < walked.size(); ++i) {
    if (jobs == 1) results.put(i, scanner.scan(walked[i], ids[i]), nullptr);
    FileResult file = results.take(i);
    assembler.add(file);
    if (progress) progress(i + 1, walked.size());
  }
  assembler.finish();
  return docs;
}

Json scan(const fs::path& root, const ExistingNodes& existing_nodes, const ScanProgress& progress) {
  PreviousScan previous;
  previous.file_nodes = existing_nodes;
  ScanOptions options;
  options.progress = progress;
  return common::parse_fast_to_json(scan_documents(root, previous, options).graph);
}

}  // namespace lumenfold::surveyor
