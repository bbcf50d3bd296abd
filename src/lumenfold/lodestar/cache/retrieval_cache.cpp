#include "lumenfold/lodestar/cache/retrieval_cache.h"

#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/elapsed.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json_document.h"
#include "lumenfold/common/state_file.h"
#include "lumenfold/lodestar/graph/file_ref.h"

namespace lumenfold::lodestar {

namespace fs = std::filesystem;
using common::Json;

namespace {

// Stored for a reference whose time is missing from "mtimes_ns": never
// equal to a real time, so such an entry is never served.
constexpr int64_t kMissingStoredTime = -2;

// How a damaged cache file is called when it is set aside.
constexpr std::string_view kStoreLabel = "retrieval cache";

Json empty_cache() { return Json{{"entries", Json::object()}}; }

const Json& member_or(const Json& obj, std::string_view key, const Json& fallback) {
  auto it = obj.find(key);
  return it == obj.end() ? fallback : *it;
}

// An entry's creation time; 0 when absent, null or not an integer.
int64_t created_epoch(const Json& entry) {
  auto it = entry.find("created_epoch");
  return it == entry.end() ? 0 : common::as_integer(*it).value_or(0);
}

bool file_unchanged(const std::string& ref, const Json& mtimes, const fs::path& project_root) {
  int64_t now = reference_mtime_ns(project_root, ref);
  if (now < 0) return false;
  auto stored = mtimes.find(ref);
  std::optional<int64_t> then =
      stored == mtimes.end() ? std::optional<int64_t>(kMissingStoredTime) : common::as_integer(*stored);
  return then && *then == now;
}

bool names_changed_file(const Json& files, const std::unordered_set<std::string_view>& exact,
                        const std::unordered_set<std::string_view>& bases) {
  for (const Json& f : files) {
    if (!f.is_string()) continue;
    std::string_view ref = f.get_ref<const std::string&>();
    if (exact.contains(ref) || bases.contains(file_part(ref))) return true;
  }
  return false;
}

}  // namespace

int64_t file_mtime_ns(const fs::path& path) { return common::mtime_ns(path).value_or(-1); }

int64_t reference_mtime_ns(const fs::path& project_root, std::string_view ref) {
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(fs::absolute(project_root / file_part(ref), ec), ec);
  return ec ? -1 : file_mtime_ns(resolved);
}

RetrievalCache::RetrievalCache(fs::path file, int64_t ttl_sec, common::JsonFileCache* parsed,
                               common::StateFileSyncer* syncer)
    : file_(std::move(file)), ttl_sec_(ttl_sec), parsed_(parsed), syncer_(syncer) {}

std::shared_ptr<const Json> RetrievalCache::read() const {
  if (parsed_ != nullptr) return parsed_->get(file_);
  std::optional<std::string> text = common::read_file(file_);
  if (!text) return nullptr;
  std::optional<Json> doc = common::parse_json(*text);
  return doc ? std::make_shared<const Json>(std::move(*doc)) : nullptr;
}

bool RetrievalCache::expired(const Json& entry, int64_t now_seconds) const {
  return common::elapsed_more_than(created_epoch(entry), now_seconds, ttl_sec_);
}

Json RetrievalCache::load(int64_t now_seconds) const {
  std::shared_ptr<const Json> doc = read();
  if (!doc || !doc->is_object()) return empty_cache();
  Json kept = Json::object();
  auto entries = doc->find("entries");
  if (entries != doc->end() && entries->is_object()) {
    for (auto it = entries->begin(); it != entries->end(); ++it) {
      if (it.value().is_object() && !expired(it.value(), now_seconds)) {
        common::append_new_member(kept, it.key(), it.value());
      }
    }
  }
  // Other members are kept as they stand; "entries" keeps its place or
  // comes last.
  Json out = Json::object();
  for (auto it = doc->begin(); it != doc->end(); ++it) {
    common::append_new_member(out, it.key(), it.key() == "entries" ? kept : it.value());
  }
  if (!out.contains("entries")) common::append_new_member(out, "entries", std::move(kept));
  return out;
}

std::optional<Json> RetrievalCache::find(std::string_view key, int64_t now_seconds) const {
  std::shared_ptr<const Json> doc = read();
  if (!doc || !doc->is_object()) return std::nullopt;
  auto entries = doc->find("entries");
  if (entries == doc->end() || !entries->is_object()) return std::nullopt;
  auto entry = entries->find(key);
  if (entry == entries->end() || !entry->is_object() || expired(*entry, now_seconds)) return std::nullopt;
  return *entry;
}

void RetrievalCache::save(Json cache, int64_t now_seconds) const {
  // What load() read, kept parsed while the file is unchanged, clears a
  // sound file without a second parse.
  std::shared_ptr<const Json> doc = read();
  if ((!doc || !doc->is_object()) && common::is_damaged_state_file(file_, common::StateShape::kObject)) {
    common::set_aside_damaged_state_file(file_, now_seconds, kStoreLabel);
  }
  common::save_json_document(file_, cache, syncer_);
  if (parsed_ != nullptr) parsed_->remember(file_, std::move(cache));
}

bool RetrievalCache::entry_valid(const Json& entry, const fs::path& project_root, int64_t now_seconds) const {
  if (!entry.is_object()) return false;
  int64_t created = created_epoch(entry);
  if (created <= 0 || common::elapsed_more_than(created, now_seconds, ttl_sec_)) return false;
  const Json no_files = Json::array();
  const Json no_mtimes = Json::object();
  const Json& files = member_or(entry, "files", no_files);
  const Json& mtimes = member_or(entry, "mtimes_ns", no_mtimes);
  if (!files.is_array() || !mtimes.is_object()) return false;
  for (const Json& f : files) {
    if (!f.is_string() || f.get_ref<const std::string&>().empty()) return false;
    if (!file_unchanged(f.get_ref<const std::string&>(), mtimes, project_root)) return false;
  }
  return true;
}

int64_t RetrievalCache::invalidate_files(std::span<const std::string> changed_files, int64_t now_seconds) const {
  Json cache = load(now_seconds);
  Json& entries = cache["entries"];
  std::unordered_set<std::string_view> exact;
  std::unordered_set<std::string_view> bases;
  for (const std::string& ref : changed_files) {
    exact.insert(ref);
    bases.insert(file_part(ref));
  }
  Json kept = Json::object();
  int64_t removed = 0;
  const Json no_files = Json::array();
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    // A "files" member that is not a list names nothing, so it is kept.
    const Json& files = member_or(it.value(), "files", no_files);
    if (files.is_array() && names_changed_file(files, exact, bases)) {
      ++removed;
    } else {
      kept[it.key()] = std::move(it.value());
    }
  }
  entries = std::move(kept);
  save(std::move(cache), now_seconds);
  return removed;
}

}  // namespace lumenfold::lodestar
