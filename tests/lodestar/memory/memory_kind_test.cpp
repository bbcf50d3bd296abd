#include "lumenfold/lodestar/memory/memory_kind.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {
namespace {

using common::Json;

TEST(MemoryKindTest, KnownNamesReadBackAsTheirKind) {
  struct Case {
    const char* name;
    MemoryKind kind;
  };
  const Case cases[] = {
      {"fact", MemoryKind::kFact},
      {"decision", MemoryKind::kDecision},
      {"task", MemoryKind::kTask},
      {"next", MemoryKind::kNext},
      {"blocker", MemoryKind::kBlocker},
      {"query_association", MemoryKind::kQueryAssociation},
      {"stale_marker", MemoryKind::kStaleMarker},
      {"interaction_pattern", MemoryKind::kInteractionPattern},
      {"edit_observation", MemoryKind::kEditObservation},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parse_memory_kind(c.name), c.kind) << c.name;
    EXPECT_EQ(memory_kind_name(c.kind), c.name);
  }
}

TEST(MemoryKindTest, AnyOtherTextIsOtherAndHasNoName) {
  for (const char* text : {"Decision", " decision", "decision ", "note", "", "None"}) {
    EXPECT_EQ(parse_memory_kind(text), MemoryKind::kOther) << '"' << text << '"';
  }
  EXPECT_EQ(memory_kind_name(MemoryKind::kOther), "");
}

TEST(MemoryKindTest, EntryKindIsItsKindMemberOnly) {
  EXPECT_EQ(memory_kind_of(Json{{"kind", "decision"}}), MemoryKind::kDecision);
  EXPECT_EQ(memory_kind_of(Json{{"type", "decision"}}), MemoryKind::kOther);
  EXPECT_EQ(memory_kind_of(Json{{"kind", nullptr}}), MemoryKind::kOther);
  EXPECT_EQ(memory_kind_of(Json::array()), MemoryKind::kOther);
}

}  // namespace
}  // namespace lumenfold::lodestar
