#pragma once
// Whether two memory entries describe the same memory.

#include <string>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// (kind, symbol_id, file_path, discriminator), each read as text with ""
// for a missing member, nothing trimmed. The discriminator is "" for
// "interaction_pattern" and "edit_observation" (one per kind and anchor,
// whatever the content), "stale_reason" for "stale_marker", and the exact
// "content" for every other kind.
struct MemoryIdentity {
  std::string kind;
  std::string symbol_id;
  std::string file_path;
  std::string discriminator;
  bool operator==(const MemoryIdentity&) const = default;
};

MemoryIdentity memory_identity(const common::Json& entry);

}  // namespace lumenfold::lodestar
