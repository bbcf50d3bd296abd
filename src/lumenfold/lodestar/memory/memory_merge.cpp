#include "lumenfold/lodestar/memory/memory_merge.h"

#include <algorithm>
#include <string>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/memory/entry_fields.h"
#include "lumenfold/lodestar/memory/epoch_time.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// How many tags and files one memory keeps across merges.
constexpr int64_t kMaxMergedTags = 10;
constexpr int64_t kMaxMergedFiles = 10;
// Queries are context, not identity: a few are enough.
constexpr int64_t kMaxMergedQueries = 6;
// The length of any list kept inside "evidence".
constexpr int64_t kMaxEvidenceList = 8;

// The member as a list, or [] when it is missing or not a list.
Json list_or_empty(const Json& v) { return v.is_array() ? v : Json::array(); }

Json concatenated(const Json& first, const Json& second) {
  Json out = list_or_empty(first);
  if (second.is_array()) out.insert(out.end(), second.begin(), second.end());
  return out;
}

Json merged_list_member(const Json& existing, const Json& incoming, std::string_view key, int64_t limit) {
  return merge_unique_strings(
      concatenated(common::member_or_null(existing, key), common::member_or_null(incoming, key)), limit);
}

// One evidence value folded into the existing one, by the incoming type.
// Returns false when the existing value stays as it is.
bool merge_evidence_value(const Json* existing, const Json& incoming, Json& out) {
  const Json null_value;
  const Json& old = existing ? *existing : null_value;
  if (incoming.is_array()) {
    out = merge_unique_strings(concatenated(old.is_array() ? old : Json::array(), incoming), kMaxEvidenceList);
    return true;
  }
  if (incoming.is_boolean()) {
    out = common::is_truthy(old) || incoming.get<bool>();
    return true;
  }
  if (incoming.is_number_integer()) {
    int64_t before = common::is_truthy(old) ? common::as_integer(old).value_or(0) : 0;
    int64_t now = common::as_integer(incoming).value_or(0);
    out = now > before ? now : before;
    return true;
  }
  if (incoming.is_null() || (incoming.is_string() && incoming.get_ref<const std::string&>().empty())) {
    return false;
  }
  out = incoming;
  return true;
}

Json merged_evidence(const Json& existing, const Json& incoming) {
  const Json& before = common::member_or_null(existing, "evidence");
  Json out = before.is_object() ? before : Json::object();
  const Json& add = common::member_or_null(incoming, "evidence");
  if (!add.is_object()) return out;
  for (auto it = add.begin(); it != add.end(); ++it) {
    auto old = out.find(it.key());
    Json value;
    if (merge_evidence_value(old == out.end() ? nullptr : &*old, it.value(), value)) {
      out[it.key()] = std::move(value);
    }
  }
  return out;
}

}  // namespace

FirstDistinctTexts::FirstDistinctTexts(int64_t limit) : limit_(static_cast<size_t>(std::max<int64_t>(limit, 0))) {}

void FirstDistinctTexts::offer(std::string_view text) {
  if (full()) return;
  std::string_view trimmed = common::trim(text);
  if (trimmed.empty() || std::find(items_.begin(), items_.end(), trimmed) != items_.end()) return;
  items_.emplace_back(trimmed);
}

Json FirstDistinctTexts::items() const { return Json(items_); }

Json merge_unique_strings(const Json& values, int64_t limit) {
  FirstDistinctTexts texts(limit);
  if (!values.is_array()) return texts.items();
  for (const Json& item : values) {
    if (texts.full()) break;
    texts.offer(common::truthy_text(item));
  }
  return texts.items();
}

Json merge_memory_entries(const Json& existing, const Json& incoming, double now_epoch) {
  Json merged = existing.is_object() ? existing : Json::object();
  const Json* updated = first_truthy(incoming, {"updated_at"});
  merged["updated_at"] = updated ? common::made_text(*updated) : iso_time(now_epoch);
  merged["stale"] = common::is_truthy(common::member_or_null(existing, "stale")) ||
                    common::is_truthy(common::member_or_null(incoming, "stale"));
  const Json* reason = first_truthy(incoming, {"stale_reason"});
  if (reason == nullptr) reason = first_truthy(existing, {"stale_reason"});
  merged["stale_reason"] = reason ? common::made_text(*reason) : "";
  merged["tags"] = merged_list_member(existing, incoming, "tags", kMaxMergedTags);
  merged["files"] = merged_list_member(existing, incoming, "files", kMaxMergedFiles);
  merged["observed_queries"] = merged_list_member(existing, incoming, "observed_queries", kMaxMergedQueries);
  merged["evidence"] = merged_evidence(existing, incoming);
  return merged;
}

}  // namespace lumenfold::lodestar
