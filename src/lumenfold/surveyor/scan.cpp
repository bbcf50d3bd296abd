#include "lumenfold/surveyor/scan.h"

#include <sys/stat.h>

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

// What the files scanned so far contributed to the graph.
struct ScanOutput {
  Json nodes = Json::array();
  std::vector<Edge> edges;
  int64_t symbol_count = 0;
};

void scan_file(const WalkedFile& walked, const fs::path& resolved_root, const ExistingNodes& existing_nodes,
               ScanOutput& out) {
  const fs::path& p = walked.path;
  int64_t size = 0;
  std::optional<std::string> text = read_source_text(p, &size);
  if (!text) return;
  std::string file_id = rel_resolved(walked.resolved, resolved_root);
  std::string ext = common::to_lower(extension_of(p));
  std::string fhash = common::short_hash(*text);

  auto old = existing_nodes.find(file_id);
  bool reuse = old != existing_nodes.end() && old->second.is_object() &&
               member_or<std::string>(old->second, "file_hash", "") == fhash;
  Node file = reuse ? reuse_file_node(old->second, file_id, ext, size, *text, fhash)
                    : fresh_file_node(file_id, ext, size, *text, fhash);
  if (file.kind == "symbol") ++out.symbol_count;
  out.nodes.push_back(as_dict(file));

  // A file a grammar reads is parsed once, for its symbols and its imports.
  const Language language = language_of(ext);
  SyntaxFacts syntax = has_grammar(language) ? read_syntax(*text, file_id, language) : SyntaxFacts{};
  std::vector<Edge> relations = parse_relations_from(file_id, p, *text, syntax.imports);
  out.edges.insert(out.edges.end(), relations.begin(), relations.end());

  if (has_symbol_extractor(language)) {
    std::vector<Node> symbol_nodes;
    append_symbol_nodes(
        symbol_nodes, out.edges,
        has_grammar(language) ? std::move(syntax.symbols) : extract_symbols_for_file(*text, file_id, ext), file_id,
        ext);
    for (const Node& s : symbol_nodes) out.nodes.push_back(as_dict(s));
    out.symbol_count += static_cast<int64_t>(symbol_nodes.size());
  }
}

}  // namespace

Json scan(const fs::path& root, const ExistingNodes& existing_nodes, const ScanProgress& progress) {
  fs::path resolved_root;
  const std::vector<WalkedFile> walked = walk_files_resolved(root, &resolved_root);
  if (progress) progress(0, walked.size());
  ScanOutput out;
  for (size_t i = 0; i < walked.size(); ++i) {
    scan_file(walked[i], resolved_root, existing_nodes, out);
    if (progress) progress(i + 1, walked.size());
  }
  std::vector<Edge> unique = dedupe_edges(out.edges);
  Json edge_list = Json::array();
  for (const Edge& e : unique) edge_list.push_back(edge_to_json(e));

  Json doc = Json::object();
  doc["root"] = root.string();
  doc["node_count"] = out.nodes.size();
  doc["edge_count"] = unique.size();
  doc["file_count"] = static_cast<int64_t>(out.nodes.size()) - out.symbol_count;
  doc["symbol_count"] = out.symbol_count;
  doc["nodes"] = std::move(out.nodes);
  doc["edges"] = std::move(edge_list);
  return doc;
}

}  // namespace lumenfold::surveyor
