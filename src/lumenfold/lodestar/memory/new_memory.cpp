#include "lumenfold/lodestar/memory/new_memory.h"

#include <cstdint>
#include <utility>

#include "lumenfold/lodestar/memory/epoch_time.h"

namespace lumenfold::lodestar {

using common::Json;

Json new_memory_entry(NewMemory memory, const MemoryAnchor& anchor, double now_epoch, const std::string& id) {
  Json entry = Json::object();
  if (!id.empty()) entry["id"] = id;
  entry["kind"] = memory_kind_name(memory.kind);
  entry["content"] = std::move(memory.content);
  entry["tags"] = std::move(memory.tags);
  entry["files"] = std::move(memory.files);
  entry["file_path"] = anchor.path;
  entry["symbol_id"] = anchor.symbol_id;
  entry["symbol_hash"] = anchor.body_hash;
  entry["created_at"] = iso_time(now_epoch);
  entry["created_epoch"] = whole_seconds(now_epoch);
  entry["updated_at"] = iso_time(now_epoch);
  entry["stale"] = false;
  entry["stale_reason"] = "";
  entry["observed_queries"] = std::move(memory.observed_queries);
  entry["evidence"] = std::move(memory.evidence);
  return entry;
}

}  // namespace lumenfold::lodestar
