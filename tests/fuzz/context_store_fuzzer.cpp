// The context store, read from a file holding the input. Loading never
// throws and tells a corrupt file from a sound one; every loaded entry is
// well formed; a second store reads the same entries; and saving them, then
// loading, gives exactly what saved_and_loaded promises.

#include <cstddef>
#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "lumenfold/common/state_file.h"
#include "lumenfold/lodestar/memory/context_store.h"
#include "lumenfold/lodestar/memory/memory_entry.h"
#include "lumenfold/lodestar/memory/memory_prune.h"
#include "test_support/temp_dir.h"

namespace {

using lumenfold::common::Json;
using lumenfold::fuzz::require;
using lumenfold::fuzz::require_equal;
using namespace lumenfold::lodestar;

constexpr double kNow = 1769850902.25;

// A small index, so that entries naming this symbol get their anchors
// completed.
const Json& symbol_index() {
  static const Json index = Json::parse(
      R"({"src/a.py::load": {"line_start": 3, "line_end": 9, "body_hash": "abcd1234", "confidence": "high",
          "path": "src/a.py"}})");
  return index;
}

void check_entries(const std::vector<Json>& entries, const SymbolLookup& symbols) {
  require(entries.size() <= kMaxContextEntries, "a load holds at most the stored cap");
  for (const Json& entry : entries) {
    require(entry.is_object() && entry["id"].is_string() && entry["content"].is_string(), "entries are well formed");
    if (normalizes_to_itself(entry)) {
      std::optional<Json> again = normalize_memory_entry(entry, symbols, kNow);
      require(again.has_value(), "a loaded entry normalises");
      require_equal(*again, entry, "a loaded entry normalises to itself");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumenfold::testing::TempDir dir;
  lumenfold::common::StateFileSyncer syncer;
  const std::string_view text = lumenfold::fuzz::as_text(data, size);
  const std::filesystem::path file = dir.write("data/context-store.json", text);
  const SymbolLookup symbols = lookup_in_json(symbol_index());

  ContextStore store(file, &syncer);
  std::vector<Json> entries = store.load(symbols, kNow);
  std::optional<Json> parsed = lumenfold::common::parse_json(text);
  require(store.last_load() == ((parsed && parsed->is_array()) ? StoreLoad::kLoaded : StoreLoad::kCorrupt),
          "a load tells a sound file from a corrupt one");
  check_entries(entries, symbols);

  ContextStore second(file, &syncer);
  const std::vector<Json> reread = second.load(symbols, kNow);
  require(reread == entries, "two stores read the same entries");

  const std::vector<Json> expected = ContextStore::saved_and_loaded(entries, symbols, kNow);
  store.save(std::move(entries), kNow, ContextStore::Entries::kNormalized);
  ContextStore third(file, &syncer);
  require(third.load(symbols, kNow) == expected, "a saved store loads as saved_and_loaded says");
  require(third.last_load() == StoreLoad::kLoaded, "a saved store is sound");

  require(!syncer.sync_all(), "state files reach the disk");
  return 0;
}
