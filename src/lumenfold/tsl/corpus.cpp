#include "lumenfold/tsl/corpus.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/hash.h"
#include "lumenfold/surveyor/scan.h"

namespace lumenfold::tsl {
namespace fs = std::filesystem;
using common::Json;

namespace {

const Json& member_list(const Json& doc, const char* key) {
  static const Json kEmpty = Json::array();
  if (!doc.is_object()) return kEmpty;
  auto it = doc.find(key);
  return it != doc.end() && it->is_array() ? *it : kEmpty;
}

// The file's text from disk; the node's stored (cut) content otherwise.
std::optional<std::string> file_text(const fs::path& root, const std::string& id, const Json& node) {
  if (!root.empty()) {
    int64_t size = 0;
    std::optional<std::string> text = surveyor::read_source_text(root / id, &size);
    if (text) return text;
  }
  auto content = node.find("content");
  if (content != node.end() && content->is_string()) return content->get<std::string>();
  return std::nullopt;
}

// What stands in for a text that cannot be had (a graph scanned on
// another machine): the node's keywords, one a line.
std::string keyword_text(const Json& node) {
  std::string out;
  auto keywords = node.find("keywords");
  if (keywords == node.end() || !keywords->is_array()) return out;
  for (const Json& k : *keywords) {
    if (k.is_string()) out += k.get<std::string>() + "\n";
  }
  return out;
}

SourceDef symbol_def(const Json& node) {
  SourceDef def;
  const std::string name = common::get_text(node, "name");
  const std::string_view full = name;
  // "A.B.f": name "f", owner "B"; rfind's npos + 1 is 0, the whole text.
  const size_t dot = full.rfind('.');
  def.name = full.substr(dot + 1);
  if (dot != std::string_view::npos) {
    const std::string_view scope = full.substr(0, dot);
    def.owner = scope.substr(scope.rfind('.') + 1);
  }
  def.kind = common::get_text(node, "symbol_type") == "model" ? DefKind::kClass : DefKind::kFunction;
  auto line = node.find("line_start");
  if (line != node.end()) def.line = static_cast<uint32_t>(std::max<int64_t>(0, common::as_integer(*line).value_or(0)));
  return def;
}

CorpusFile make_file(const fs::path& root, const Json& node, std::string id) {
  CorpusFile f;
  f.ext = common::get_text(node, "ext");
  f.summary = common::get_text(node, "summary");
  auto size = node.find("size");
  if (size != node.end()) f.size = common::as_integer(*size).value_or(0);
  std::optional<std::string> text = file_text(root, id, node);
  f.text = text ? std::move(*text) : keyword_text(node);
  if (f.size <= 0) f.size = static_cast<int64_t>(f.text.size());
  f.id = std::move(id);
  return f;
}

}  // namespace

Corpus load_corpus(const Json& graph) {
  Corpus corpus;
  corpus.root = common::get_text(graph, "root");
  fs::path root(corpus.root);
  std::unordered_map<std::string, size_t> by_id;
  for (const Json& node : member_list(graph, "nodes")) {
    if (!node.is_object()) continue;
    std::string id = common::get_text(node, "id");
    if (id.empty()) continue;
    std::string kind = common::get_text(node, "kind");
    if (kind == "file") {
      if (by_id.count(id)) continue;
      by_id.emplace(id, corpus.files.size());
      corpus.files.push_back(make_file(root, node, std::move(id)));
    } else if (kind == "symbol") {
      auto owner = by_id.find(common::get_text(node, "path"));
      if (owner == by_id.end()) continue;
      CorpusFile& file = corpus.files[owner->second];
      file.symbol_ids.push_back(std::move(id));
      file.symbol_defs.push_back(symbol_def(node));
    }
  }
  for (const Json& edge : member_list(graph, "edges")) {
    if (!edge.is_object()) continue;
    CorpusEdge e{common::get_text(edge, "from"), common::get_text(edge, "to"), common::get_text(edge, "rel")};
    if (e.from.empty() || e.to.empty() || e.rel == "contains") continue;
    corpus.edges.push_back(std::move(e));
  }
  return corpus;
}

std::string graph_fingerprint(const Json& graph) {
  // Called on every query: read the members in place, without copies.
  static const std::string kEmpty;
  auto text_of = [](const Json& node, const char* key) -> const std::string& {
    auto it = node.find(key);
    return it != node.end() && it->is_string() ? it->get_ref<const std::string&>() : kEmpty;
  };
  std::string key = graph.is_object() ? text_of(graph, "root") : kEmpty;
  key += '\n';
  for (const Json& node : member_list(graph, "nodes")) {
    if (!node.is_object() || text_of(node, "kind") != "file") continue;
    key += text_of(node, "id");
    key += '\t';
    key += text_of(node, "file_hash");
    key += '\t';
    auto size = node.find("size");
    if (size != node.end() && size->is_number_integer()) key += std::to_string(size->get<int64_t>());
    key += '\n';
  }
  return common::md5_hex(key);
}

}  // namespace lumenfold::tsl
