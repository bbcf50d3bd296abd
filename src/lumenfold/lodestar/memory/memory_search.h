#pragma once
// Ranking the memories of the context store against a query and the files
// or symbols the caller considers current. The score is a transparent sum:
// every contribution leaves a short reason, and the first three reasons
// travel with each result as its "why".

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/memory/memory_kind.h"
#include "lumenfold/lodestar/memory/memory_scope.h"

namespace lumenfold::lodestar {

struct MemoryTypeMultiplier {
  MemoryKind kind;
  double multiplier;
};
// How much each kind of memory is worth relative to a plain note: decisions
// and hard facts frame a question best, auto-generated habits and stale
// markers least. Kinds not listed weigh 1.0.
inline constexpr std::array<MemoryTypeMultiplier, 8> kMemoryTypeMultipliers = {{
    {MemoryKind::kDecision, 1.5},
    {MemoryKind::kFact, 1.3},
    {MemoryKind::kBlocker, 1.3},
    {MemoryKind::kNext, 1.1},
    {MemoryKind::kEditObservation, 1.1},
    {MemoryKind::kInteractionPattern, 1.0},
    {MemoryKind::kQueryAssociation, 0.8},
    {MemoryKind::kStaleMarker, 0.5},
}};

// The multiplier of `kind`; 1.0 for any kind not in the table.
double memory_type_multiplier(MemoryKind kind);

// Ordered so that lookups by string_view need no copy.
using TextSet = std::set<std::string, std::less<>>;

struct MemoryScore {
  int64_t score = 0;
  // The reason of every contribution, in the order they were made.
  std::vector<std::string> reasons;
  // How many query terms occur in the entry's haystack.
  int64_t overlap = 0;
};

// The number of `qterms` found as substrings of the entry's haystack: its
// content, tags, symbol_id and file_path, lower-cased and joined by blanks
// (so "cache" counts when the haystack holds "caches").
int64_t memory_term_overlap(const common::Json& entry, const TextSet& qterms);

// Scores `entry`, adding in this order: 3 per overlapping term ("<n> query
// term match"); 5 when its symbol_id is related ("exact symbol match"); 4
// when its file_path is related ("same file as retrieved context"); a
// recency of 4 halved every 7 days of age, rounded half to even, when above
// 0.1 ("recency 2.8"); -6 when stale ("stale penalty") else +1 ("fresh
// memory"); -2 for a query association recorded by another server process
// ("cross-session penalty"); then the whole score times the kind's
// multiplier, rounded half to even, when that is not 1.0 ("type_weight×1.5",
// with the multiplication sign U+00D7). `now_epoch` is the current Unix time
// with its fraction; `session_start_epoch` the start of this process.
MemoryScore score_memory_entry(const common::Json& entry, const TextSet& qterms, const TextSet& related,
                               double now_epoch, int64_t session_start_epoch);

// How many memories a search offers unless the caller asks otherwise.
inline constexpr int64_t kMemorySearchLimit = 3;

// Reconciles the store against `scope.symbols` first (which may write the
// store and record stale markers), then scores every entry against the
// terms of `query` and `related_files`, drops those scoring 0 or less, and
// returns at most `limit` copies, best first: by score, then not stale
// before stale, then newest "created_epoch"; full ties keep store order.
// Each copy gains, in this order: "weak_match" (true) and
// "weak_match_reason" ("auto-generated, only <n> term overlap") on a query
// association with fewer than 2 overlapping terms and a score below 10;
// then "why", its first three reasons joined by ", ". A `limit` of 0 or
// less returns nothing. Throws as ContextStore::save.
std::vector<common::Json> search_context_store(const MemoryScope& scope, std::string_view query,
                                               const std::vector<std::string>& related_files,
                                               int64_t limit = kMemorySearchLimit);

}  // namespace lumenfold::lodestar
