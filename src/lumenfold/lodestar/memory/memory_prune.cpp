#include "lumenfold/lodestar/memory/memory_prune.h"

#include <algorithm>
#include <map>
#include <string>
#include <tuple>

#include <nlohmann/json.hpp>

#include "lumenfold/common/elapsed.h"
#include "lumenfold/lodestar/memory/entry_fields.h"
#include "lumenfold/lodestar/memory/memory_kind.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// Memories per group (kind, symbol, file). Decisions and edit observations
// are superseded by newer ones; one pattern and one stale marker per anchor
// say all there is to say; other kinds may hold a few distinct notes.
constexpr size_t kCapQueryAssociation = 4;
constexpr size_t kCapDecision = 3;
constexpr size_t kCapEditObservation = 2;
constexpr size_t kCapInteractionPattern = 1;
constexpr size_t kCapStaleMarker = 1;
constexpr size_t kCapOtherKind = 6;

size_t group_cap(MemoryKind kind) {
  if (kind == MemoryKind::kQueryAssociation) return kCapQueryAssociation;
  if (kind == MemoryKind::kDecision) return kCapDecision;
  if (kind == MemoryKind::kEditObservation) return kCapEditObservation;
  if (kind == MemoryKind::kInteractionPattern) return kCapInteractionPattern;
  if (kind == MemoryKind::kStaleMarker) return kCapStaleMarker;
  return kCapOtherKind;
}

bool is_habit_kind(MemoryKind kind) {
  return kind == MemoryKind::kQueryAssociation || kind == MemoryKind::kInteractionPattern;
}

bool expired(const Json& entry, int64_t now_seconds) {
  return is_habit_kind(memory_kind_of(entry)) &&
         common::elapsed_more_than(field_integer(entry, "created_epoch"), now_seconds, kHabitMemoryLifetimeSec);
}

}  // namespace

std::vector<Json> prune_context_entries(std::vector<Json> entries, int64_t now_seconds) {
  struct Candidate {
    int64_t created_epoch;
    Json* entry;
  };
  std::vector<Candidate> kept;
  kept.reserve(entries.size());
  for (Json& entry : entries) {
    if (!expired(entry, now_seconds)) kept.push_back({field_integer(entry, "created_epoch"), &entry});
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const Candidate& a, const Candidate& b) { return a.created_epoch > b.created_epoch; });

  using Group = std::tuple<std::string, std::string, std::string>;
  std::map<Group, size_t> group_sizes;
  std::vector<Json> taken;
  for (const Candidate& c : kept) {
    if (taken.size() >= kMaxContextEntries) break;
    // Grouped by the kind's text: each kind the server does not know is a
    // group of its own.
    std::string kind = field_text(*c.entry, "kind");
    size_t cap = group_cap(parse_memory_kind(kind));
    size_t& size = group_sizes[{std::move(kind), field_text(*c.entry, "symbol_id"), field_text(*c.entry, "file_path")}];
    if (size >= cap) continue;
    ++size;
    taken.push_back(std::move(*c.entry));
  }
  std::reverse(taken.begin(), taken.end());
  return taken;
}

}  // namespace lumenfold::lodestar
