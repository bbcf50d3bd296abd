#pragma once
// The kinds of memory that the server gives a meaning of its own, and the
// one place where their stored names are read and written.

#include <string_view>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// A memory's kind. An entry keeps its kind as text in its "kind" member, and
// that text is what is stored and what tells two memories' identities apart:
// any text is a valid kind. One that the server gives no meaning to (a
// user's "idea", or " Decision" with its blank) reads as kOther and is
// stored back exactly as it came, since nothing ever rewrites the member
// from the enum.
enum class MemoryKind {
  // Written by the agent through graph_add_memory ("fact" when it names none).
  kFact,
  kDecision,
  kTask,
  kNext,
  kBlocker,
  // Recorded by the server itself.
  kQueryAssociation,
  kInteractionPattern,
  kEditObservation,
  kStaleMarker,
  kOther,
};

// The kind that `text` names, compared exactly: "Decision" is kOther.
MemoryKind parse_memory_kind(std::string_view text);

// The stored name of a kind other than kOther ("decision"); "" for kOther,
// which has no name of its own.
std::string_view memory_kind_name(MemoryKind kind);

// The kind of a memory entry, from its "kind" member read as field_text
// reads it (entry_fields.h).
MemoryKind memory_kind_of(const common::Json& entry);

}  // namespace lumenfold::lodestar
