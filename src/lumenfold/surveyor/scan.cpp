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
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/surveyor/file_id.h"
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
    std::string key = e.from + '\0' + e.to + '\0' + e.rel;
    if (seen.insert(std::move(key)).second) unique.push_back(e);
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

// What one file contributes to the graph: its file node, then its symbol
// nodes, and the edges from it; no nodes for a file the scan skips.
struct FileResult {
  std::vector<Json> nodes;
  std::vector<Edge> edges;
  int64_t symbol_count = 0;
  std::string id;
  FileRecord record;
};

int64_t count_symbols(const std::vector<Json>& nodes) {
  int64_t count = 0;
  for (const Json& n : nodes) count += member_or<std::string>(n, "kind", "") == "symbol";
  return count;
}

// Turns walked files into their results; one per scan, shared by the
// workers (it holds nothing that changes).
class FileScanner {
 public:
  FileScanner(const fs::path& resolved_root, const PreviousScan& previous, const ScanOptions& options)
      : resolved_root_(resolved_root),
        previous_(previous),
        full_(options.full),
        trusted_before_ns_(now_ns() - kRecentChangeNs) {}

  FileResult scan(const WalkedFile& walked) const {
    FileResult result;
    const fs::path& p = walked.path;
    const std::optional<common::FileStamp> stamp = common::file_stamp(p);
    if (!stamp || stamp->size > kMaxFileBytes) return result;
    result.id = rel_resolved(walked.resolved, resolved_root_);
    const PreviousFile* before = previous_file(result.id);
    const auto old = previous_.file_nodes.find(result.id);
    if (!full_ && before != nullptr && old != previous_.file_nodes.end() && before->record.trusted &&
        before->record.stamp == *stamp) {
      reuse(*before, old->second, result);
      return result;
    }

    int64_t size = 0;
    std::optional<std::string> text = read_source_text(p, &size);
    if (!text) return result;
    const std::string ext = common::to_lower(extension_of(p));
    const std::string fhash = common::short_hash(*text);
    result.record = {*stamp, stamp->mtime_ns < trusted_before_ns_, fhash};

    const bool same_text = old != previous_.file_nodes.end() && old->second.is_object() &&
                           member_or<std::string>(old->second, "file_hash", "") == fhash;
    Node file = same_text ? reuse_file_node(old->second, result.id, ext, size, *text, fhash)
                          : fresh_file_node(result.id, ext, size, *text, fhash);
    if (file.kind == "symbol") ++result.symbol_count;
    result.nodes.push_back(as_dict(file));
    if (same_text && before != nullptr && before->record.hash == fhash) {
      for (const Json& n : before->symbol_nodes) result.nodes.push_back(n);
      result.symbol_count += static_cast<int64_t>(before->symbol_nodes.size());
      result.edges = before->edges;
      return result;
    }
    analyse(p, result.id, ext, *text, result);
    return result;
  }

 private:
  const PreviousFile* previous_file(const std::string& id) const {
    const auto it = previous_.files.find(id);
    return it == previous_.files.end() ? nullptr : &it->second;
  }

  // An unchanged file: the previous scan's nodes and edges as they are.
  static void reuse(const PreviousFile& before, const Json& file_node, FileResult& result) {
    result.nodes.push_back(file_node);
    result.nodes.insert(result.nodes.end(), before.symbol_nodes.begin(), before.symbol_nodes.end());
    result.symbol_count = count_symbols(result.nodes);
    result.edges = before.edges;
    result.record = before.record;
  }

  // Relations and symbols from the text.
  static void analyse(const fs::path& p, const std::string& file_id, const std::string& ext, const std::string& text,
                      FileResult& result) {
    // A file a grammar reads is parsed once, for its symbols and its imports.
    const Language language = language_of(ext);
    SyntaxFacts syntax = has_grammar(language) ? read_syntax(text, file_id, language) : SyntaxFacts{};
    result.edges = parse_relations_from(file_id, p, text, syntax.imports);
    if (!has_symbol_extractor(language)) return;
    std::vector<Node> symbol_nodes;
    append_symbol_nodes(
        symbol_nodes, result.edges,
        has_grammar(language) ? std::move(syntax.symbols) : extract_symbols_for_file(text, file_id, ext), file_id, ext);
    for (const Node& s : symbol_nodes) result.nodes.push_back(as_dict(s));
    result.symbol_count += static_cast<int64_t>(symbol_nodes.size());
  }

  const fs::path& resolved_root_;
  const PreviousScan& previous_;
  bool full_;
  int64_t trusted_before_ns_;
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

Json scan(const fs::path& root, const PreviousScan& previous, const ScanOptions& options, FileRecords* records) {
  fs::path resolved_root;
  const std::vector<WalkedFile> walked = walk_files_resolved(root, &resolved_root);
  const ScanProgress& progress = options.progress;
  if (progress) progress(0, walked.size());
  const FileScanner scanner(resolved_root, previous, options);

  OrderedResults results(walked.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next++; i < walked.size(); i = next++) {
      try {
        results.put(i, scanner.scan(walked[i]), nullptr);
      } catch (...) {
        results.put(i, {}, std::current_exception());
      }
    }
  };
  const unsigned jobs = worker_count(options.jobs, walked.size());
  std::vector<std::jthread> workers;
  // With one job the scanning thread does the work itself, between takes.
  for (unsigned j = 0; j < jobs && jobs > 1; ++j) workers.emplace_back(work);

  Json nodes = Json::array();
  std::vector<Edge> edges;
  int64_t symbol_count = 0;
  for (size_t i = 0; i < walked.size(); ++i) {
    if (jobs == 1) results.put(i, scanner.scan(walked[i]), nullptr);
    FileResult file = results.take(i);
    for (Json& n : file.nodes) nodes.push_back(std::move(n));
    edges.insert(edges.end(), std::make_move_iterator(file.edges.begin()), std::make_move_iterator(file.edges.end()));
    symbol_count += file.symbol_count;
    if (records != nullptr && !file.nodes.empty()) records->emplace_back(file.id, std::move(file.record));
    if (progress) progress(i + 1, walked.size());
  }
  std::vector<Edge> unique = dedupe_edges(edges);
  Json edge_list = Json::array();
  for (const Edge& e : unique) edge_list.push_back(edge_to_json(e));

  Json doc = Json::object();
  doc["root"] = root.string();
  doc["node_count"] = nodes.size();
  doc["edge_count"] = unique.size();
  doc["file_count"] = static_cast<int64_t>(nodes.size()) - symbol_count;
  doc["symbol_count"] = symbol_count;
  doc["nodes"] = std::move(nodes);
  doc["edges"] = std::move(edge_list);
  return doc;
}

Json scan(const fs::path& root, const ExistingNodes& existing_nodes, const ScanProgress& progress) {
  PreviousScan previous;
  previous.file_nodes = existing_nodes;
  ScanOptions options;
  options.progress = progress;
  return scan(root, previous, options);
}

}  // namespace lumenfold::surveyor
