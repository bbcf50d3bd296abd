#pragma once
// Folding a new observation of a memory into the stored one.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// The first `limit` distinct non-blank texts offered, each trimmed, in the
// order offered: what merge_unique_strings keeps, for callers that can stop
// looking once it is full.
class FirstDistinctTexts {
 public:
  explicit FirstDistinctTexts(int64_t limit);
  bool full() const { return items_.size() >= limit_; }
  void offer(std::string_view text);
  // The texts kept, as a JSON list.
  common::Json items() const;

 private:
  size_t limit_;
  std::vector<std::string> items_;
};

// The distinct non-blank texts among `values` (a list; anything else counts
// as empty), in order of first appearance, at most `limit` of them. Falsy
// items count as ""; every item is taken as text (made_text) and trimmed.
common::Json merge_unique_strings(const common::Json& values, int64_t limit = 6);

// A new entry: a copy of `existing` with "updated_at" (incoming's, else the
// time `now_epoch`), "stale" (sticky: either one's), "stale_reason"
// (incoming's, else existing's), "tags" and "files" (merged, at most 10),
// "observed_queries" (merged, at most 6) and "evidence" (merged key by key:
// lists united up to 8, booleans or-ed, integers maxed, other values
// replaced unless null or "") taken from both. Every other member,
// including "content" and the anchor, stays as in `existing`.
common::Json merge_memory_entries(const common::Json& existing, const common::Json& incoming, double now_epoch);

}  // namespace lumenfold::lodestar
