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

// The id under which the symbol index lists `node`: symbol nodes with a
// truthy id (null, "" and 0 name no symbol).
std::optional<std::string> index_id(const Json& node) {
  if (!node.is_object() || common::get_text(node, "kind") != "symbol") return std::nullopt;
  auto id_member = node.find("id");
  if (id_member == node.end() || !common::is_truthy(*id_member)) return std::nullopt;
  return common::made_text(*id_member);
}

}  // namespace

Json build_symbol_index(const Json& nodes) {
  Json index = Json::object();
  // Position of each id in `index`, so a repeated id is found in O(1).
  std::unordered_map<std::string, size_t> position;
  auto& members = index.get_ref<Json::object_t&>();
  if (!nodes.is_array()) return index;
  for (const Json& node : nodes) {
    std::optional<std::string> id = index_id(node);
    if (!id) continue;
    auto [it, inserted] = position.emplace(*id, members.size());
    if (inserted) {
      common::append_new_member(index, std::move(*id), symbol_entry(node));
    } else {
      members.Container::operator[](it->second).second = symbol_entry(node);
    }
  }
  return index;
}

std::vector<std::string> append_symbol_index_entries(std::string& out, const std::vector<Json>& nodes) {
  std::vector<std::string> ids;
  for (const Json& node : nodes) {
    std::optional<std::string> id = index_id(node);
    if (!id) continue;
    if (!ids.empty()) out += ", ";
    common::append_spaced(out, Json(*id));
    out += ": ";
    common::append_spaced(out, symbol_entry(node));
    ids.push_back(std::move(*id));
  }
  return ids;
}

ExistingNodes load_previous_file_nodes(const fs::path& path) {
  std::optional<std::string> text = common::read_file(path);
  return text ? previous_file_nodes(*text) : ExistingNodes{};
}

ExistingNodes previous_file_nodes(std::string_view graph_text) {
  ExistingNodes existing;
  // The previous graph is as large as the project's text: simdjson reads it
  // an order of magnitude faster, and only file nodes are converted.
  simdjson::dom::parser parser;
  std::optional<simdjson::dom::element> doc = common::parse_fast(parser, graph_text);
  if (!doc || !doc->is_object()) return existing;
  simdjson::dom::element nodes_member;
  if ((*doc)["nodes"].get(nodes_member) != simdjson::SUCCESS) return existing;
  simdjson::dom::array nodes;
  if (nodes_member.get(nodes) != simdjson::SUCCESS) return {};
  for (simdjson::dom::element node : nodes) {
    if (!node.is_object()) return {};
    std::string_view kind;
    if (node["kind"].get_string().get(kind) != simdjson::SUCCESS || kind != "file") continue;
    std::string_view id;
    // One unusable entry makes the whole previous graph untrustworthy.
    if (node["id"].get_string().get(id) != simdjson::SUCCESS) return {};
    existing[std::string(id)] = common::to_json(node);
  }
  return existing;
}

std::optional<std::string> write_graph_documents(const Json& graph, const fs::path& graph_path, const Json& index,
                                                 const fs::path& index_path) {
  return write_graph_files(common::dump_indented(graph), graph_path, common::dump_spaced(index), index_path);
}

std::optional<std::string> write_graph_files(std::string_view graph_text, const fs::path& graph_path,
                                             std::string_view index_text, const fs::path& index_path) {
  if (auto error = common::write_file_atomically(graph_path, graph_text)) return error;
  return common::write_file_atomically(index_path, index_text);
}

}  // namespace lumenfold::surveyor
