#include "lumenfold/lodestar/graph/symbol_index.h"

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/lodestar/graph/json_dom_builder.h"
#include "lumenfold/surveyor/graph_documents.h"

namespace lumenfold::lodestar {

using common::Json;

SymbolIndex::SymbolIndex() : doc_(std::make_unique<Json>(Json::object())) {}

SymbolIndex::SymbolIndex(Json doc) : doc_(std::make_unique<Json>(doc.is_object() ? std::move(doc) : Json::object())) {
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

Json build_symbol_index(const Json& graph) {
  // The scanner owns the index format; a graph without a node list has no
  // symbols.
  if (!graph.is_object()) return Json::object();
  auto nodes = graph.find("nodes");
  if (nodes == graph.end() || !nodes->is_array()) return Json::object();
  return surveyor::build_symbol_index(*nodes);
}

}  // namespace lumenfold::lodestar
