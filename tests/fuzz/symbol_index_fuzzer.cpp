// The symbol index, read from a file holding the input. Reading never
// throws; the index holds exactly what nlohmann's parser makes of the text
// when that is an object (repeated keys included), and nothing otherwise;
// and every member is found under its id.

#include <cstddef>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "lumenfold/lodestar/graph/symbol_index.h"
#include "lumenfold/lodestar/graph/symbol_index_cache.h"
#include "lumenfold/lodestar/memory/symbol_lookup.h"
#include "test_support/temp_dir.h"

namespace {

using lumenfold::common::Json;
using lumenfold::fuzz::require;
using lumenfold::fuzz::require_equal;
using namespace lumenfold::lodestar;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumenfold::testing::TempDir dir;
  const std::string_view text = lumenfold::fuzz::as_text(data, size);
  const std::filesystem::path file = dir.write("symbol_index.json", text);

  SymbolIndexCache cache;
  std::shared_ptr<const SymbolIndex> index = cache.get(file);
  require(index != nullptr, "the cache always gives an index");
  std::optional<Json> expected = lumenfold::common::parse_json(text);
  if (!expected || !expected->is_object()) {
    require(index->empty(), "a file that is not a JSON object gives the empty index");
    return 0;
  }
  require_equal(index->doc(), *expected, "the index holds the parsed document");
  require(index->size() == expected->size(), "every member is indexed");
  const SymbolLookup lookup = lookup_in_index(*index);
  for (const auto& [id, entry] : expected->items()) {
    const Json* found = index->find(id);
    require(found != nullptr && *found == entry, "every member is found under its id");
    require(symbol_record(lookup, id) == (entry.is_object() ? found : nullptr), "only object records are records");
  }
  require(cache.get(file) == index, "an unchanged file is not read again");

  // The index the graph upload would build from the same text taken as a
  // graph: objects only, one per symbol id.
  const Json built = build_symbol_index(*expected);
  require(built.is_object(), "a built index is an object");
  for (const auto& [id, entry] : built.items()) {
    require(!id.empty() && entry.is_object(), "built entries are objects under non-empty ids");
  }
  return 0;
}
