#pragma once
// Memory entries: short durable notes about a project (decisions, facts,
// tasks, edit observations, stale markers, ...), optionally anchored to a
// symbol and/or a file. Every entry that enters or leaves the store passes
// through normalize_memory_entry, which turns any object into a
// well-formed entry with exactly these members, in this order:
//
//   id, kind, content, tags, files, file_path, symbol_id, symbol_hash,
//   created_at, created_epoch, updated_at, stale, stale_reason,
//   observed_queries, evidence
//
// Times: `now_epoch` is the current Unix time in seconds with its fraction
// (the server passes now_epoch()); texts holding the time use iso_time.

#include <optional>
#include <string>
#include <string_view>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/memory/symbol_lookup.h"

namespace lumenfold::lodestar {

// A fresh id: "mem:" followed by `now_epoch` in whole milliseconds
// (mem:1733570000123). Two ids made in the same millisecond are equal.
std::string memory_id(double now_epoch);

struct MemoryAnchor {
  std::string symbol_id;
  std::string path;
  std::string body_hash;
  bool operator==(const MemoryAnchor&) const = default;
};

// The anchor that a reference names. "" gives an empty anchor; a reference
// holding "::" is a symbol id: (ref, the index record's "path" or else the
// part before the first "::", the record's "body_hash" or else ""); any
// other reference is a file path: ("", ref, "").
MemoryAnchor memory_anchor_for_ref(std::string_view ref, const SymbolLookup& symbols);

// The well-formed entry for `entry`, or nullopt when `entry` is not an
// object or has neither a truthy "content" nor a truthy "summary" (after
// trimming). Missing anchors are completed from the first of "files" and
// from the symbol index; missing times become `now_epoch`; "created_epoch"
// is derived from "created_at" when it is absent, zero, negative or not an
// integer. Members of the wrong type read as empty.
std::optional<common::Json> normalize_memory_entry(const common::Json& entry, const SymbolLookup& symbols,
                                                   double now_epoch);

// Whether normalising `entry` again would give it back unchanged, for an
// entry made by normalize_memory_entry or merged (memory_merge.h) from two
// such entries of one identity, against the same symbol index. True for all
// but an anchor padded with white space and a symbol reference that stands
// only in "files" or "file_path", which the next normalisation completes.
bool normalizes_to_itself(const common::Json& entry);

}  // namespace lumenfold::lodestar
