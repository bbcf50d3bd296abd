// The retrieval cache, read from a file holding the input. Loading never
// throws and keeps only live object entries; the parsed-file cache gives
// the same answers as a plain read; a saved cache loads back unchanged; and
// invalidating a file leaves no entry that names it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/json_file_cache.h"
#include "lumenfold/common/state_file.h"
#include "lumenfold/lodestar/cache/retrieval_cache.h"
#include "lumenfold/lodestar/graph/file_ref.h"
#include "test_support/temp_dir.h"

namespace {

using lumenfold::common::Json;
using lumenfold::fuzz::require;
using lumenfold::fuzz::require_equal;
using namespace lumenfold::lodestar;

constexpr int64_t kNow = 1769850902;
constexpr int64_t kTtlSec = 900;
const std::string kChangedFile = "src/a.py";

void check_loaded(const Json& doc) {
  require(doc.is_object() && doc["entries"].is_object(), "a load holds an \"entries\" object");
  for (const auto& [key, entry] : doc["entries"].items()) {
    require(entry.is_object(), "loaded entries are objects");
    // The time is read as an integer (common/dynamic.h); none reads as 0.
    const int64_t created = lumenfold::common::as_integer(entry["created_epoch"]).value_or(0);
    require(created >= kNow - kTtlSec, "loaded entries are no older than the lifetime");
  }
}

bool names_file(const Json& entry, const std::string& file) {
  const Json& files = lumenfold::common::member_or_null(entry, "files");
  if (!files.is_array()) return false;
  for (const Json& ref : files) {
    if (ref.is_string() && file_part(ref.get<std::string>()) == file) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumenfold::testing::TempDir dir;
  lumenfold::common::StateFileSyncer syncer;
  const std::filesystem::path project = dir.path() / "proj";
  dir.write("proj/src/a.py", "def load():\n    pass\n");
  const std::filesystem::path file = dir.write("data/retrieval_cache.json", lumenfold::fuzz::as_text(data, size));

  const RetrievalCache cache(file, kTtlSec, nullptr, &syncer);
  const Json doc = cache.load(kNow);
  check_loaded(doc);
  lumenfold::common::JsonFileCache parsed;
  const RetrievalCache cached(file, kTtlSec, &parsed, &syncer);
  require_equal(cached.load(kNow), doc, "the parsed-file cache loads what a read loads");
  for (const auto& [key, entry] : doc["entries"].items()) {
    std::optional<Json> found = cached.find(key, kNow);
    require(found.has_value(), "every loaded entry is found");
    require_equal(*found, entry, "find gives the loaded entry");
    require(cache.entry_valid(entry, project, kNow) == cached.entry_valid(entry, project, kNow),
            "validity does not depend on the cache");
  }

  cache.save(doc, kNow);
  require_equal(RetrievalCache(file, kTtlSec).load(kNow), doc, "a saved cache loads back unchanged");

  const std::vector<std::string> changed = {kChangedFile};
  const int64_t dropped = cached.invalidate_files(changed, kNow);
  const Json after = cache.load(kNow);
  require(dropped >= 0 && static_cast<size_t>(dropped) + after["entries"].size() == doc["entries"].size(),
          "invalidation drops exactly the entries it counts");
  for (const auto& [key, entry] : after["entries"].items()) {
    require(!names_file(entry, kChangedFile), "no entry names an invalidated file");
  }

  require(!syncer.sync_all(), "state files reach the disk");
  return 0;
}
