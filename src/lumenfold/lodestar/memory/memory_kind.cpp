#include "lumenfold/lodestar/memory/memory_kind.h"

#include <algorithm>
#include <iterator>

#include "lumenfold/lodestar/memory/entry_fields.h"

namespace lumenfold::lodestar {
namespace {

struct NamedKind {
  MemoryKind kind;
  std::string_view name;
};

constexpr NamedKind kNamedKinds[] = {
    {MemoryKind::kFact, "fact"},
    {MemoryKind::kDecision, "decision"},
    {MemoryKind::kTask, "task"},
    {MemoryKind::kNext, "next"},
    {MemoryKind::kBlocker, "blocker"},
    {MemoryKind::kQueryAssociation, "query_association"},
    {MemoryKind::kInteractionPattern, "interaction_pattern"},
    {MemoryKind::kEditObservation, "edit_observation"},
    {MemoryKind::kStaleMarker, "stale_marker"},
};

}  // namespace

MemoryKind parse_memory_kind(std::string_view text) {
  const auto* it = std::find_if(std::begin(kNamedKinds), std::end(kNamedKinds),
                                [text](const NamedKind& k) { return k.name == text; });
  return it == std::end(kNamedKinds) ? MemoryKind::kOther : it->kind;
}

std::string_view memory_kind_name(MemoryKind kind) {
  const auto* it = std::find_if(std::begin(kNamedKinds), std::end(kNamedKinds),
                                [kind](const NamedKind& k) { return k.kind == kind; });
  return it == std::end(kNamedKinds) ? std::string_view() : it->name;
}

MemoryKind memory_kind_of(const common::Json& entry) { return parse_memory_kind(field_text(entry, "kind")); }

}  // namespace lumenfold::lodestar
