#include "lumenfold/surveyor/graph_documents.h"

#include <unordered_map>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json_simd.h"

namespace lumenfold::surveyor {

namespace fs = std::filesystem;
using common::Json;

namespace {

Json member_or(const Json& node, const char* key, Json fallback) {
  auto it = node.find(key);
  return (it == node.end() || it->is_null()) ? fallback : *it;
}

Json symbol_entry(const Json& node) {
  Json entry = Json::object();
  entry["line_start"] = member_or(node, "line_start", 0);
  entry["line_end"] = member_or(node, "line_end", 0);
  entry["body_hash"] = member_or(node, "body_hash", "");
  entry["confidence"] = member_or(node, "confidence", "");
  entry["path"] = member_or(node, "path", "");
  return entry;
}

}  // namespace

Json build_symbol_index(const Json& nodes) {
  Json index = Json::object();
  // Position of each id in `index`, so a repeated id is found in O(1).
  std::unordered_map<std::string, size_t> position;
  auto& members = index.get_ref<Json::object_t&>();
  if (!nodes.is_array()) return index;
  for (const Json& node : nodes) {
    if (!node.is_object() || common::get_text(node, "kind") != "symbol") continue;
    // A missing or falsy id (null, "", 0) names no symbol.
    auto id_member = node.find("id");
    if (id_member == node.end() || !common::is_truthy(*id_member)) continue;
    std::string id = common::made_text(*id_member);
    auto [it, inserted] = position.emplace(id, members.size());
    if (inserted) {
      common::append_new_member(index, std::move(id), symbol_entry(node));
    } else {
      members.Container::operator[](it->second).second = symbol_entry(node);
    }
  }
  return index;
}

ExistingNodes load_previous_file_nodes(const fs::path& path) { return load_previous_graph(path, {}).file_nodes; }

PreviousScan load_previous_graph(const fs::path& path, std::unordered_map<std::string, FileRecord> records) {
  PreviousScan previous;
  ExistingNodes& existing = previous.file_nodes;
  std::optional<std::string> text = common::read_file(path);
  if (!text) return previous;
  // The previous graph is as large as the project's text: simdjson reads it
  // an order of magnitude faster, and only file nodes are converted.
  simdjson::dom::parser parser;
  std::optional<simdjson::dom::element> doc = common::parse_fast(parser, *text);
  if (!doc || !doc->is_object()) return previous;
  simdjson::dom::element nodes_member;
  if ((*doc)["nodes"].get(nodes_member) != simdjson::SUCCESS) return previous;
  simdjson::dom::array nodes;
  if (nodes_member.get(nodes) != simdjson::SUCCESS) return {};
  for (simdjson::dom::element node : nodes) {
    if (!node.is_object()) return {};
    std::string_view kind;
    if (node["kind"].get_string().get(kind) != simdjson::SUCCESS) continue;
    if (kind == "symbol" && !records.empty()) {
      std::string_view owner;
      if (node["path"].get_string().get(owner) != simdjson::SUCCESS) continue;
      if (auto it = previous.files.find(std::string(owner)); it != previous.files.end()) {
        it->second.symbol_nodes.push_back(common::to_json(node));
      }
      continue;
    }
    if (kind != "file") continue;
    std::string_view id;
    // One unusable entry makes the whole previous graph untrustworthy.
    if (node["id"].get_string().get(id) != simdjson::SUCCESS) return {};
    existing[std::string(id)] = common::to_json(node);
    if (auto it = records.find(std::string(id)); it != records.end()) {
      previous.files[it->first].record = std::move(it->second);
    }
  }
  if (previous.files.empty()) return previous;
  simdjson::dom::array edges;
  if ((*doc)["edges"].get_array().get(edges) != simdjson::SUCCESS) {
    previous.files.clear();
    return previous;
  }
  for (simdjson::dom::element edge : edges) {
    std::string_view from, to, rel;
    if (edge["from"].get_string().get(from) != simdjson::SUCCESS ||
        edge["to"].get_string().get(to) != simdjson::SUCCESS ||
        edge["rel"].get_string().get(rel) != simdjson::SUCCESS) {
      continue;
    }
    if (auto it = previous.files.find(std::string(from)); it != previous.files.end()) {
      it->second.edges.push_back(Edge{std::string(from), std::string(to), std::string(rel)});
    }
  }
  return previous;
}

std::optional<std::string> write_graph_documents(const Json& graph, const fs::path& graph_path, const Json& index,
                                                 const fs::path& index_path) {
  return write_graph_text(common::dump_indented(graph), graph_path, index, index_path);
}

std::optional<std::string> write_graph_text(std::string_view graph_text, const fs::path& graph_path, const Json& index,
                                            const fs::path& index_path) {
  if (auto error = common::write_file_atomically(graph_path, graph_text)) return error;
  return common::write_file_atomically(index_path, common::dump_spaced(index));
}

}  // namespace lumenfold::surveyor
