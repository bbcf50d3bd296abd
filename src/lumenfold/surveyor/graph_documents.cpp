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

Json symbol_entry(const Json& node) {
  Json entry = Json::object();
  entry["line_start"] = node.value("line_start", Json());
  entry["line_end"] = node.value("line_end", Json());
  entry["body_hash"] = node.value("body_hash", Json());
  auto conf = node.find("confidence");
  entry["confidence"] = (conf == node.end() || conf->is_null()) ? Json("") : *conf;
  entry["path"] = node.value("path", Json());
  return entry;
}

}  // namespace

SymbolIndexText build_symbol_index(const Json& nodes) {
  Json index = Json::object();
  // Position of each id in `index`, so a repeated id is found in O(1).
  std::unordered_map<std::string, size_t> position;
  auto& members = index.get_ref<Json::object_t&>();
  if (nodes.is_array()) {
    for (const Json& node : nodes) {
      if (!node.is_object() || common::get_text(node, "kind") != "symbol") continue;
      std::string id = common::made_text(node.value("id", Json()));
      auto [it, inserted] = position.emplace(id, members.size());
      if (inserted) {
        common::append_new_member(index, std::move(id), symbol_entry(node));
      } else {
        members.Container::operator[](it->second).second = symbol_entry(node);
      }
    }
  }
  return {common::dump_spaced(index), members.size()};
}

ExistingNodes load_previous_file_nodes(const fs::path& path) {
  ExistingNodes existing;
  std::optional<std::string> text = common::read_file(path);
  if (!text) return existing;
  // The previous graph is as large as the project's text: simdjson reads it
  // an order of magnitude faster, and only file nodes are converted.
  simdjson::dom::parser parser;
  std::optional<simdjson::dom::element> doc = common::parse_fast(parser, *text);
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

std::optional<std::string> write_graph_documents(const Json& graph, const fs::path& graph_path,
                                                 const std::string& index_text, const fs::path& index_path) {
  if (auto error = common::write_file_atomically(graph_path, common::dump_indented(graph))) return error;
  return common::write_file_atomically(index_path, index_text);
}

}  // namespace lumenfold::surveyor
