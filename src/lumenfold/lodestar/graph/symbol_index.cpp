#include "lumenfold/lodestar/graph/symbol_index.h"

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/lodestar/graph/json_dom_builder.h"

namespace lumenfold::lodestar {

using common::Json;

SymbolIndex::SymbolIndex() : doc_(std::make_unique<Json>(Json::object())) {}

SymbolIndex::SymbolIndex(Json doc)
    : doc_(std::make_unique<Json>(doc.is_object() ? std::move(doc) : Json::object())) {
  index_members();
}

SymbolIndex::~SymbolIndex() = default;
SymbolIndex::SymbolIndex(SymbolIndex&&) noexcept = default;
SymbolIndex& SymbolIndex::operator=(SymbolIndex&&) noexcept = default;

void SymbolIndex::index_members() {
  // The keys live in the document, which never changes after this, so the
  // table can refer to them instead of copying 50 000 ids.
  by_id_.reserve(doc_->size());
  for (const auto& [id, entry] : doc_->get_ref<const Json::object_t&>()) {
    by_id_.emplace(std::string_view(id), &entry);
  }
}

const Json* SymbolIndex::find(std::string_view symbol_id) const {
  auto it = by_id_.find(symbol_id);
  return it == by_id_.end() ? nullptr : it->second;
}

namespace {

// The id of a node as text: falsy values give "", others their text form.
std::string node_id(const Json& node) {
  auto it = node.find("id");
  if (it == node.end() || !common::is_truthy(*it)) return std::string();
  return common::made_text(*it);
}

Json member_or(const Json& node, const char* key, Json fallback) {
  auto it = node.find(key);
  return it == node.end() ? std::move(fallback) : *it;
}

Json make_entry(const Json& node) {
  Json entry = Json::object();
  entry["line_start"] = member_or(node, "line_start", 0);
  entry["line_end"] = member_or(node, "line_end", 0);
  entry["body_hash"] = member_or(node, "body_hash", "");
  entry["confidence"] = member_or(node, "confidence", "");
  entry["path"] = member_or(node, "path", "");
  return entry;
}

bool is_symbol_node(const Json& node) {
  if (!node.is_object()) return false;
  auto kind = node.find("kind");
  return kind != node.end() && kind->is_string() && kind->get_ref<const std::string&>() == "symbol";
}

}  // namespace

Json build_symbol_index(const Json& graph) {
  if (!graph.is_object()) return Json::object();
  auto nodes = graph.find("nodes");
  if (nodes == graph.end() || !nodes->is_array()) return Json::object();

  // Positions by id, so a repeated id replaces its value in place without
  // the linear member search of an ordered object.
  std::unordered_map<std::string, size_t> position;
  MemberList entries;
  for (const Json& node : *nodes) {
    if (!is_symbol_node(node)) continue;
    std::string id = node_id(node);
    if (id.empty()) continue;
    auto [it, fresh] = position.emplace(id, entries.size());
    if (fresh) {
      entries.emplace_back(std::move(id), make_entry(node));
    } else {
      entries[it->second].second = make_entry(node);
    }
  }
  return object_from_members(std::move(entries));
}

}  // namespace lumenfold::lodestar
