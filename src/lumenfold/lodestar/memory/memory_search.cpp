#include "lumenfold/lodestar/memory/memory_search.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/text_search.h"
#include "lumenfold/lodestar/graph/query_terms.h"
#include "lumenfold/lodestar/memory/entry_fields.h"
#include "lumenfold/lodestar/memory/epoch_time.h"
#include "lumenfold/lodestar/memory/memory_kind.h"
#include "lumenfold/lodestar/memory/reconcile.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

constexpr int64_t kPerTermPoints = 3;
// A memory about the very symbol in focus beats one about its file.
constexpr int64_t kSymbolMatchPoints = 5;
constexpr int64_t kFileMatchPoints = 4;
// Recency starts at 4 points and halves every week, so a month-old memory
// still counts a little and one older than about 37 days not at all.
constexpr double kRecencyStart = 4.0;
constexpr double kRecencyHalfLifeDays = 7.0;
constexpr double kRecencyFloor = 0.1;
constexpr double kSecondsPerDay = 86400.0;
// A stale memory may mislead, so it must be strongly relevant to surface.
constexpr int64_t kStalePenalty = 6;
constexpr int64_t kFreshBonus = 1;
// Query associations of an earlier process describe an older conversation.
constexpr int64_t kCrossSessionPenalty = 2;
// Below these, an auto-generated query association is flagged as weak.
constexpr int64_t kStrongOverlap = 2;
constexpr int64_t kStrongScore = 10;
constexpr size_t kWhyReasons = 3;

// Nearest integer with halves to the even one (2.5 -> 2, -2.5 -> -2), as
// the scores were always rounded; the default floating-point rounding mode
// does exactly that.
int64_t round_half_even(double x) { return static_cast<int64_t>(std::nearbyint(x)); }

std::string one_decimal(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1f", x);
  return buf;
}

std::string haystack_of(const Json& entry) {
  std::string tags;
  const Json& list = common::member_or_null(entry, "tags");
  if (list.is_array()) {
    for (size_t i = 0; i < list.size(); ++i) {
      if (i > 0) tags += ' ';
      tags += common::made_text(list[i]);
    }
  }
  return common::to_lower(field_text(entry, "content") + " " + tags + " " + field_text(entry, "symbol_id") + " " +
                          field_text(entry, "file_path"));
}

// 0 when the entry has no creation time or the recency has faded out.
void add_recency(const Json& entry, double now_epoch, MemoryScore& out) {
  int64_t created = field_integer(entry, "created_epoch");
  if (created <= 0) return;
  double age_days = std::max(0.0, (now_epoch - static_cast<double>(created)) / kSecondsPerDay);
  double recency = kRecencyStart * std::pow(0.5, age_days / kRecencyHalfLifeDays);
  if (recency <= kRecencyFloor) return;
  out.score += round_half_even(recency);
  out.reasons.push_back("recency " + one_decimal(recency));
}

bool is_cross_session(const Json& entry, int64_t session_start_epoch) {
  if (memory_kind_of(entry) != MemoryKind::kQueryAssociation) return false;
  int64_t recorded = field_integer(common::member_or_null(entry, "evidence"), "session_epoch");
  return recorded > 0 && recorded != session_start_epoch;
}

bool is_related(const Json& entry, std::string_view key, const TextSet& related) {
  std::string value = field_text(entry, key);
  return !value.empty() && related.contains(value);
}

bool is_stale(const Json& entry) { return common::is_truthy(common::member_or_null(entry, "stale")); }

// A memory worth offering; the copy handed out is made only for the few
// that make the cut.
struct Scored {
  const Json* entry;
  MemoryScore score;
  bool stale;
  int64_t created_epoch;
};

Json result_item(const Json& entry, const MemoryScore& scored) {
  Json item = entry;
  if (scored.overlap < kStrongOverlap && scored.score < kStrongScore &&
      memory_kind_of(entry) == MemoryKind::kQueryAssociation) {
    item["weak_match"] = true;
    item["weak_match_reason"] = "auto-generated, only " + std::to_string(scored.overlap) + " term overlap";
  }
  std::string why;
  for (size_t i = 0; i < scored.reasons.size() && i < kWhyReasons; ++i) {
    if (i > 0) why += ", ";
    why += scored.reasons[i];
  }
  item["why"] = why;
  return item;
}

}  // namespace

double memory_type_multiplier(MemoryKind kind) {
  for (const MemoryTypeMultiplier& m : kMemoryTypeMultipliers) {
    if (m.kind == kind) return m.multiplier;
  }
  return 1.0;
}

int64_t memory_term_overlap(const Json& entry, const TextSet& qterms) {
  std::string haystack = haystack_of(entry);
  return std::count_if(qterms.begin(), qterms.end(),
                       [&](const std::string& term) { return common::contains_text(haystack, term); });
}

MemoryScore score_memory_entry(const Json& entry, const TextSet& qterms, const TextSet& related, double now_epoch,
                               int64_t session_start_epoch) {
  MemoryScore out;
  out.overlap = memory_term_overlap(entry, qterms);
  if (out.overlap >= 1) {
    out.score += kPerTermPoints * out.overlap;
    out.reasons.push_back(std::to_string(out.overlap) + " query term match");
  }
  if (is_related(entry, "symbol_id", related)) {
    out.score += kSymbolMatchPoints;
    out.reasons.push_back("exact symbol match");
  }
  if (is_related(entry, "file_path", related)) {
    out.score += kFileMatchPoints;
    out.reasons.push_back("same file as retrieved context");
  }
  add_recency(entry, now_epoch, out);
  if (is_stale(entry)) {
    out.score -= kStalePenalty;
    out.reasons.push_back("stale penalty");
  } else {
    out.score += kFreshBonus;
    out.reasons.push_back("fresh memory");
  }
  if (is_cross_session(entry, session_start_epoch)) {
    out.score -= kCrossSessionPenalty;
    out.reasons.push_back("cross-session penalty");
  }
  double m = memory_type_multiplier(memory_kind_of(entry));
  if (m != 1.0) {
    out.score = round_half_even(static_cast<double>(out.score) * m);
    out.reasons.push_back("type_weight\u00D7" + one_decimal(m));
  }
  return out;
}

std::vector<Json> search_context_store(const MemoryScope& scope, std::string_view query,
                                       const std::vector<std::string>& related_files, int64_t limit) {
  std::vector<std::string> terms = query_terms(query);
  TextSet qterms(terms.begin(), terms.end());
  TextSet related(related_files.begin(), related_files.end());
  // Held for the whole search: the scored entries point into it.
  std::shared_ptr<const std::vector<Json>> entries =
      reconcile_context_snapshot(scope.store, scope.symbols, scope.now_epoch);
  std::vector<Scored> scored;
  for (const Json& entry : *entries) {
    MemoryScore s = score_memory_entry(entry, qterms, related, scope.now_epoch, scope.session_start_epoch);
    if (s.score <= 0) continue;
    scored.push_back({&entry, std::move(s), is_stale(entry), field_integer(entry, "created_epoch")});
  }
  std::stable_sort(scored.begin(), scored.end(), [](const Scored& a, const Scored& b) {
    if (a.score.score != b.score.score) return a.score.score > b.score.score;
    if (a.stale != b.stale) return !a.stale;
    return a.created_epoch > b.created_epoch;
  });
  std::vector<Json> out;
  for (size_t i = 0; i < scored.size() && static_cast<int64_t>(i) < limit; ++i) {
    out.push_back(result_item(*scored[i].entry, scored[i].score));
  }
  return out;
}

}  // namespace lumenfold::lodestar
