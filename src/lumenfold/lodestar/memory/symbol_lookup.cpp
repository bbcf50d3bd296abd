#include "lumenfold/lodestar/memory/symbol_lookup.h"

#include <nlohmann/json.hpp>

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

SymbolLookup no_symbols() {
  return [](std::string_view) -> const common::Json* { return nullptr; };
}

}  // namespace lumenfold::lodestar
