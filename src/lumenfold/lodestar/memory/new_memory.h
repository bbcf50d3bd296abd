#pragma once
// The memories that tools record themselves (reads, edits, decisions),
// built with every member in place so that they enter the store as they
// will be stored.

#include <string>

#include <nlohmann/json.hpp>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/memory/memory_entry.h"
#include "lumenfold/lodestar/memory/memory_kind.h"

namespace lumenfold::lodestar {

// What a tool decides about a memory it records; the other members come
// from the anchor and the time.
struct NewMemory {
  MemoryKind kind;  // not kOther: a recorded memory is of a kind the server knows
  std::string content;
  common::Json tags;
  common::Json files;
  common::Json observed_queries;
  common::Json evidence;
};

// A memory recorded now, with every member in the store's order: `id`
// first unless it is empty, then `memory`'s kind, content, tags and files,
// the anchor, "created_at" and "updated_at" as iso_time(now_epoch),
// "created_epoch" in whole seconds, "stale" false, "stale_reason" "", and
// `memory`'s observed queries and evidence.
common::Json new_memory_entry(NewMemory memory, const MemoryAnchor& anchor, double now_epoch,
                              const std::string& id = "");

}  // namespace lumenfold::lodestar
