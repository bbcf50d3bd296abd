#pragma once
// How the context store asks the symbol index about one symbol. The store
// only needs point lookups, so it takes a function rather than the index
// itself: the server passes its hash-indexed symbol index (loaded lazily,
// only when a lookup actually happens), tests pass a small JSON map.

#include <filesystem>
#include <functional>
#include <string_view>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

class SymbolIndex;
class SymbolIndexCache;

// The symbol index record of `symbol_id` ({"line_start", "line_end",
// "body_hash", "confidence", "path"}), or nullptr when the id is unknown.
// The record must stay alive until the next call.
using SymbolLookup = std::function<const common::Json*(std::string_view symbol_id)>;

// The record of `symbol_id` when it is an object; nullptr when the id is
// unknown or a damaged index holds something else under it.
const common::Json* symbol_record(const SymbolLookup& symbols, std::string_view symbol_id);

// A lookup into a symbol index document held as a JSON object (linear
// search; fine for tests and small indexes). `index` must outlive the
// returned function. A non-object `index` knows no symbols.
SymbolLookup lookup_in_json(const common::Json& index);

// A lookup into a loaded symbol index; `index` must outlive the function.
SymbolLookup lookup_in_index(const SymbolIndex& index);

// A lookup that reads the symbol index at `path` through `cache` on its
// first call, and keeps using that index for every later call, so one
// operation sees one index and an operation that needs no symbol costs no
// read. `cache` must outlive the function.
SymbolLookup lazy_index_lookup(SymbolIndexCache& cache, std::filesystem::path path);

// A lookup that knows no symbols (an empty index, before the first scan).
SymbolLookup no_symbols();

}  // namespace lumenfold::lodestar
