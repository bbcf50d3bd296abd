#include "lumenfold/lodestar/memory/memory_entry.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/graph/file_ref.h"
#include "lumenfold/lodestar/memory/entry_fields.h"
#include "lumenfold/lodestar/memory/epoch_time.h"
#include "lumenfold/lodestar/memory/iso_datetime.h"
#include "lumenfold/lodestar/memory/memory_kind.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// The kind of a memory that says nothing about its kind.
constexpr MemoryKind kDefaultKind = MemoryKind::kFact;

// A truthy member of a symbol index record, as text; "" otherwise.
std::string record_text(const Json* record, std::string_view key) {
  if (record == nullptr) return "";
  return common::truthy_text(common::member_or_null(*record, key));
}

// The truthy value of `v` as trimmed text, "" when falsy.
std::string trimmed_text(const Json& v) { return std::string(common::trim(common::truthy_text(v))); }

// The text items of `v` when it is a list, in order; [] otherwise.
Json text_items(const Json& v) {
  Json out = Json::array();
  if (!v.is_array()) return out;
  for (const Json& item : v) {
    if (item.is_string()) out.push_back(item);
  }
  return out;
}

// The non-blank text items of a "files" list, unchanged (not trimmed).
Json listed_files(const Json& v) {
  Json out = Json::array();
  if (!v.is_array()) return out;
  for (const Json& item : v) {
    if (item.is_string() && !common::trim(item.get_ref<const std::string&>()).empty()) out.push_back(item);
  }
  return out;
}

struct Anchoring {
  std::string symbol_id;
  std::string file_path;
  std::string symbol_hash;
};

// Completes the anchor from the first listed file and the symbol index.
Anchoring complete_anchor(const Json& entry, const Json& files, const SymbolLookup& symbols) {
  Anchoring a{trimmed_text(common::member_or_null(entry, "symbol_id")),
              trimmed_text(common::member_or_null(entry, "file_path")),
              trimmed_text(common::member_or_null(entry, "symbol_hash"))};
  if (a.symbol_id.empty() && !files.empty()) {
    MemoryAnchor first = memory_anchor_for_ref(files[0].get_ref<const std::string&>(), symbols);
    if (!first.path.empty() && a.file_path.empty()) a.file_path = first.path;
    if (!first.body_hash.empty() && a.symbol_hash.empty()) a.symbol_hash = first.body_hash;
    a.symbol_id = first.symbol_id;
  }
  if (a.symbol_id.empty()) return a;
  const Json* record = nullptr;
  if (a.file_path.empty() || a.symbol_hash.empty()) record = symbol_record(symbols, a.symbol_id);
  if (a.file_path.empty()) {
    a.file_path = record_text(record, "path");
    if (a.file_path.empty()) a.file_path = std::string(file_part(a.symbol_id));
  }
  if (a.symbol_hash.empty()) a.symbol_hash = record_text(record, "body_hash");
  return a;
}

// "created_epoch" when it reads as a positive integer; else the time of
// `created_at` (with "Z" read as "+00:00"); else now. Text that is not a
// number reads as 0 so that the creation text decides.
int64_t creation_epoch(const Json& entry, const std::string& created_at, double now_epoch) {
  const Json& given = common::member_or_null(entry, "created_epoch");
  int64_t epoch = common::is_truthy(given) ? common::as_integer(given).value_or(0) : 0;
  if (epoch > 0) return epoch;
  std::string zulu_free;
  for (char c : created_at) {
    if (c == 'Z') {
      zulu_free += "+00:00";
    } else {
      zulu_free += c;
    }
  }
  std::optional<int64_t> parsed = parse_iso_datetime(zulu_free);
  return parsed ? *parsed : whole_seconds(now_epoch);
}

}  // namespace

std::string memory_id(double now_epoch) {
  return "mem:" + std::to_string(static_cast<int64_t>(std::floor(now_epoch * 1000)));
}

MemoryAnchor memory_anchor_for_ref(std::string_view ref, const SymbolLookup& symbols) {
  if (ref.empty()) return {};
  if (ref.find("::") == std::string_view::npos) return {"", std::string(ref), ""};
  const Json* record = symbol_record(symbols, ref);
  std::string path = record_text(record, "path");
  if (path.empty()) path = std::string(file_part(ref));
  return {std::string(ref), std::move(path), record_text(record, "body_hash")};
}

std::optional<Json> normalize_memory_entry(const Json& entry, const SymbolLookup& symbols, double now_epoch) {
  if (!entry.is_object()) return std::nullopt;
  const Json* content_source = first_truthy(entry, {"content", "summary"});
  std::string content = content_source ? std::string(common::trim(common::made_text(*content_source))) : "";
  if (content.empty()) return std::nullopt;

  Json files = listed_files(common::member_or_null(entry, "files"));
  Anchoring anchor = complete_anchor(entry, files, symbols);
  if (files.empty()) {
    if (!anchor.symbol_id.empty()) {
      files.push_back(anchor.symbol_id);
    } else if (!anchor.file_path.empty()) {
      files.push_back(anchor.file_path);
    }
  }

  const Json* created_source = first_truthy(entry, {"created_at", "updated_at", "date"});
  std::string created_at = created_source ? common::made_text(*created_source) : iso_time(now_epoch);
  const Json* updated_source = first_truthy(entry, {"updated_at"});
  std::string updated_at = updated_source ? common::made_text(*updated_source) : created_at;
  const Json* id_source = first_truthy(entry, {"id"});
  const Json* kind_source = first_truthy(entry, {"kind", "type"});
  const Json& evidence = common::member_or_null(entry, "evidence");

  Json out = Json::object();
  out["id"] = id_source ? common::made_text(*id_source) : memory_id(now_epoch);
  // The kind is kept as text: one the server does not know survives as is.
  out["kind"] = kind_source ? common::made_text(*kind_source) : std::string(memory_kind_name(kDefaultKind));
  out["content"] = std::move(content);
  out["tags"] = text_items(common::member_or_null(entry, "tags"));
  out["files"] = std::move(files);
  out["file_path"] = std::move(anchor.file_path);
  out["symbol_id"] = std::move(anchor.symbol_id);
  out["symbol_hash"] = std::move(anchor.symbol_hash);
  out["created_at"] = created_at;
  out["created_epoch"] = creation_epoch(entry, created_at, now_epoch);
  out["updated_at"] = std::move(updated_at);
  out["stale"] = common::is_truthy(common::member_or_null(entry, "stale"));
  out["stale_reason"] = std::string(common::trim(field_text(entry, "stale_reason")));
  out["observed_queries"] = text_items(common::member_or_null(entry, "observed_queries"));
  out["evidence"] = evidence.is_object() ? evidence : Json::object();
  return out;
}

bool normalizes_to_itself(const Json& entry) {
  std::string_view symbol_id = common::text_view(entry, "symbol_id");
  std::string_view file_path = common::text_view(entry, "file_path");
  for (std::string_view anchor : {symbol_id, file_path, common::text_view(entry, "symbol_hash")}) {
    if (common::trim(anchor).size() != anchor.size()) return false;
  }
  if (!symbol_id.empty()) return true;
  // Without a symbol the anchor is completed from the first listed file.
  const Json& files = common::member_or_null(entry, "files");
  if (!files.is_array() || files.empty()) return file_path.empty();
  const Json& first = files[0];
  return first.is_string() && first.get_ref<const std::string&>().find("::") == std::string::npos && !file_path.empty();
}

}  // namespace lumenfold::lodestar
