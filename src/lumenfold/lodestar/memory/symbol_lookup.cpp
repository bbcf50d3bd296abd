#include "lumenfold/lodestar/memory/symbol_lookup.h"

#include <memory>

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/graph/symbol_index.h"
#include "lumenfold/lodestar/graph/symbol_index_cache.h"

namespace lumenfold::lodestar {

SymbolLookup lookup_in_json(const common::Json& index) {
  return [&index](std::string_view symbol_id) -> const common::Json* {
    if (!index.is_object()) return nullptr;
    auto it = index.find(symbol_id);
    return it == index.end() ? nullptr : &*it;
  };
}

const common::Json* symbol_record(const SymbolLookup& symbols, std::string_view symbol_id) {
  const common::Json* record = symbols(symbol_id);
  return record != nullptr && record->is_object() ? record : nullptr;
}

SymbolLookup lookup_in_index(const SymbolIndex& index) {
  return [&index](std::string_view symbol_id) { return index.find(symbol_id); };
}

SymbolLookup lazy_index_lookup(SymbolIndexCache& cache, std::filesystem::path path) {
  auto held = std::make_shared<std::shared_ptr<const SymbolIndex>>();
  return [&cache, path = std::move(path), held](std::string_view symbol_id) {
    if (!*held) *held = cache.get(path);
    return (*held)->find(symbol_id);
  };
}

SymbolLookup no_symbols() {
  return [](std::string_view) -> const common::Json* { return nullptr; };
}

}  // namespace lumenfold::lodestar
