#include "lumenfold/lodestar/actions/file_records.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

const Json& empty_object() {
  static const Json kEmpty = Json::object();  // immutable, shared by every miss
  return kEmpty;
}

bool stores_term(const Json& stored, const std::string& term) {
  return std::any_of(stored.begin(), stored.end(),
                     [&](const Json& t) { return t.is_string() && t.get_ref<const std::string&>() == term; });
}

}  // namespace

const Json& file_records(const Json& graph) {
  const Json& files = common::member_or_null(graph, "files");
  return files.is_object() ? files : empty_object();
}

int64_t shared_term_count(const Json& record, std::span<const std::string> terms) {
  const Json& stored = common::member_or_null(record, "query_terms");
  if (!stored.is_array()) return 0;
  return std::count_if(terms.begin(), terms.end(), [&](const std::string& term) { return stores_term(stored, term); });
}

std::vector<FileOverlap> file_overlaps(const Json& graph, std::span<const std::string> terms) {
  std::vector<FileOverlap> out;
  const Json& files = file_records(graph);
  for (const auto& [file, stored] : files.get_ref<const Json::object_t&>()) {
    const Json& record = stored.is_object() ? stored : empty_object();
    out.push_back({file, record, shared_term_count(record, terms)});
  }
  return out;
}

int64_t total_edit_count(const Json& graph) {
  int64_t total = 0;
  for (const Json& record : file_records(graph)) {
    if (record.is_object() && record.contains("edited_count")) {
      total += common::as_integer(record["edited_count"]).value_or(0);
    }
  }
  return total;
}

void put_file_record(Json& graph, std::string_view ref, Json record) {
  Json& files = graph["files"];
  if (!files.is_object()) files = Json::object();
  files[std::string(ref)] = std::move(record);
}

void mark_file_edited(Json& graph, const std::string& ref, const std::string& last_ts) {
  Json& record = graph["files"][ref];
  if (!record.is_object()) record = Json::object();
  int64_t previous = record.contains("edited_count") ? common::as_integer(record["edited_count"]).value_or(0) : 0;
  record["last_action"] = "edited";
  record["last_ts"] = last_ts;
  record["edited_count"] = previous + 1;
}

}  // namespace lumenfold::lodestar
