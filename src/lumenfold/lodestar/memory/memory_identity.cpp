#include "lumenfold/lodestar/memory/memory_identity.h"

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/memory/entry_fields.h"

namespace lumenfold::lodestar {

MemoryIdentity memory_identity(const common::Json& entry) {
  MemoryIdentity id{field_text(entry, "kind"), field_text(entry, "symbol_id"), field_text(entry, "file_path"), ""};
  // Patterns and edit observations are kept once per anchor: a new read or
  // edit refreshes the one entry instead of piling up near-duplicates.
  if (id.kind == "interaction_pattern" || id.kind == "edit_observation") return id;
  id.discriminator = field_text(entry, id.kind == "stale_marker" ? "stale_reason" : "content");
  return id;
}

}  // namespace lumenfold::lodestar
