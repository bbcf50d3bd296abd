#include "lumenfold/lodestar/actions/action_evidence.h"

#include <algorithm>
#include <string>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/text_search.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/actions/file_records.h"
#include "lumenfold/lodestar/graph/file_ref.h"
#include "lumenfold/lodestar/graph/query_terms.h"
#include "lumenfold/lodestar/memory/entry_fields.h"
#include "lumenfold/lodestar/memory/memory_merge.h"

namespace lumenfold::lodestar {

namespace fs = std::filesystem;
using common::Json;

namespace {

// Edit evidence keeps a glance at the activity, not its full log.
constexpr size_t kMaxEvidenceKinds = 6;
constexpr size_t kMaxEvidenceQueries = 3;
// The read context names a few neighbours and reasons, newest first.
constexpr int64_t kMaxReadContextItems = 3;

const Json& empty_object() {
  static const Json kEmpty = Json::object();  // immutable, shared by every miss
  return kEmpty;
}

const Json& payload_of(const Json& action) {
  const Json& payload = common::member_or_null(action, "payload");
  return payload.is_object() ? payload : empty_object();
}

// A member as text, "" when it is missing or falsy.
std::string truthy_text(const Json& object, std::string_view key) {
  return common::truthy_text(common::member_or_null(object, key));
}

std::string trimmed_text(const Json& object, std::string_view key) {
  return std::string(common::trim(truthy_text(object, key)));
}

bool is_recent(int64_t ts, int64_t now_seconds, int64_t window_sec) { return ts > 0 && now_seconds - ts <= window_sec; }

bool is_recent(const Json& action, int64_t now_seconds, int64_t window_sec) {
  return is_recent(common::as_integer(common::member_or_null(action, "ts")).value_or(0), now_seconds, window_sec);
}

void append_once(std::vector<std::string>& list, std::string value) {
  if (value.empty() || std::find(list.begin(), list.end(), value) != list.end()) return;
  list.push_back(std::move(value));
}

Json first_of(const std::vector<std::string>& list, size_t limit) {
  Json out = Json::array();
  for (size_t i = 0; i < list.size() && i < limit; ++i) out.push_back(list[i]);
  return out;
}

bool counts_for_edit(const std::string& file, const std::vector<std::string>& targets,
                     const std::vector<std::string>& files) {
  if (file.empty()) return true;  // a query or retrieval frames any edit
  std::string base(file_part(file));
  return std::find(targets.begin(), targets.end(), base) != targets.end() ||
         std::find(files.begin(), files.end(), file) != files.end();
}

// The payload's values as one lower-case text, for substring matching.
std::string payload_blob(const Json& payload) {
  std::string blob;
  bool first = true;
  for (const Json& value : payload) {
    if (!first) blob += ' ';
    first = false;
    blob += common::made_text(value);
  }
  return common::to_lower(blob);
}

int64_t substring_overlap(const std::string& blob, const std::vector<std::string>& terms) {
  int64_t n = 0;
  for (const std::string& term : terms) n += common::contains_text(blob, term) ? 1 : 0;
  return n;
}

Json action_hits(const Json& graph, const std::vector<std::string>& terms, int64_t limit) {
  Json hits = Json::array();
  const Json& actions = actions_of(graph);
  for (auto it = actions.rbegin(); it != actions.rend(); ++it) {
    if (!it->is_object()) continue;
    const Json& payload = payload_of(*it);
    int64_t overlap = substring_overlap(payload_blob(payload), terms);
    if (!terms.empty() && overlap == 0) continue;
    auto file = payload.find("file");
    hits.push_back(Json{{"kind", common::member_or_null(*it, "kind")},
                        {"file", file == payload.end() ? Json("") : *file},
                        {"overlap", overlap}});
    if (static_cast<int64_t>(hits.size()) >= limit) break;
  }
  return hits;
}

struct FileHit {
  std::string file;
  int64_t overlap;
  int64_t edited_count;
};

Json file_hits(const Json& graph, const std::vector<std::string>& terms, int64_t limit) {
  std::vector<FileHit> hits;
  for (const FileOverlap& f : file_overlaps(graph, terms)) {
    if (!terms.empty() && f.overlap == 0) continue;
    hits.push_back({f.file, f.overlap, field_integer(f.record, "edited_count")});
  }
  std::stable_sort(hits.begin(), hits.end(), [](const FileHit& a, const FileHit& b) {
    if (a.overlap != b.overlap) return a.overlap > b.overlap;
    if (a.edited_count != b.edited_count) return a.edited_count > b.edited_count;
    return a.file < b.file;
  });
  Json out = Json::array();
  for (size_t i = 0; i < hits.size() && static_cast<int64_t>(i) < limit; ++i) {
    out.push_back(Json{{"file", hits[i].file}, {"overlap", hits[i].overlap}, {"edited_count", hits[i].edited_count}});
  }
  return out;
}

}  // namespace

Json recent_action_evidence(const Json& graph, const std::vector<std::string>& files, int64_t now_seconds,
                            int64_t window_sec) {
  std::vector<std::string> targets;
  for (const std::string& f : files) append_once(targets, std::string(file_part(f)));
  std::vector<std::string> kinds;
  std::vector<std::string> queries;
  const Json& actions = actions_of(graph);
  for (auto it = actions.rbegin(); it != actions.rend(); ++it) {
    if (!it->is_object() || !is_recent(*it, now_seconds, window_sec)) continue;
    const Json& payload = payload_of(*it);
    if (!counts_for_edit(truthy_text(payload, "file"), targets, files)) continue;
    append_once(kinds, truthy_text(*it, "kind"));
    append_once(queries, trimmed_text(payload, "query"));
  }
  return Json{{"window_sec", window_sec},
              {"recent_action_kinds", first_of(kinds, kMaxEvidenceKinds)},
              {"recent_queries", first_of(queries, kMaxEvidenceQueries)}};
}

Json recent_read_context(std::span<const LoggedAction> actions, std::string_view ref, int64_t now_seconds,
                         int64_t window_sec) {
  std::string_view ref_file = file_part(ref);
  bool is_symbol = ref.find("::") != std::string_view::npos;
  int64_t read_count = 0;
  FirstDistinctTexts co_visited(kMaxReadContextItems);
  FirstDistinctTexts queries(kMaxReadContextItems);
  for (auto it = actions.rbegin(); it != actions.rend(); ++it) {
    if (!it->is_read || !is_recent(it->ts, now_seconds, window_sec)) continue;
    std::string_view file = it->file;
    std::string_view base = file_part(file);
    bool matches = is_symbol ? file == ref : base == ref_file;
    if (matches) {
      ++read_count;
      queries.offer(it->query);
    } else if (!file.empty() && (!is_symbol || base == ref_file)) {
      co_visited.offer(file);
    }
  }
  return Json{{"read_count", read_count}, {"co_visited", co_visited.items()}, {"queries", queries.items()}};
}

Json search_action_history(const Json& graph, std::string_view query, int64_t limit) {
  std::vector<std::string> terms = query_terms(query);  // already distinct
  return Json{{"action_hits", action_hits(graph, terms, limit)}, {"file_hits", file_hits(graph, terms, limit)}};
}

}  // namespace lumenfold::lodestar
