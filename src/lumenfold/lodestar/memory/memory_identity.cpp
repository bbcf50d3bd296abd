#include "lumenfold/lodestar/memory/memory_identity.h"

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/memory/entry_fields.h"
#include "lumenfold/lodestar/memory/memory_kind.h"

namespace lumenfold::lodestar {

MemoryIdentity memory_identity(const common::Json& entry) {
  MemoryIdentity id{field_text(entry, "kind"), field_text(entry, "symbol_id"), field_text(entry, "file_path"), ""};
  // The kind's text, not its MemoryKind, tells identities apart, so that two
  // kinds the server gives no meaning to never merge.
  const MemoryKind kind = parse_memory_kind(id.kind);
  // Patterns and edit observations are kept once per anchor: a new read or
  // edit refreshes the one entry instead of piling up near-duplicates.
  if (kind == MemoryKind::kInteractionPattern || kind == MemoryKind::kEditObservation) return id;
  id.discriminator = field_text(entry, kind == MemoryKind::kStaleMarker ? "stale_reason" : "content");
  return id;
}

}  // namespace lumenfold::lodestar
