#include "lumenfold/lodestar/actions/action_graph_store.h"

#include <cassert>
#include <utility>

#include "lumenfold/common/json_document.h"
#include "lumenfold/common/state_file.h"
#include "lumenfold/lodestar/actions/action_graph.h"

// Implementation details
//
// A damaged file loads as the empty graph, and the next save would replace
// it with that graph plus one action: the user's whole record gone without
// a word. So a save checks what it is about to replace, unless the file is
// still the version this store wrote last (the common case: one save per
// tool call). Only the first save of a session, or one after another
// writer's change, reads the file once more for that check.

namespace lumenfold::lodestar {

namespace fs = std::filesystem;
using common::Json;

namespace {

// How a damaged action graph file is called when it is set aside.
constexpr std::string_view kStoreLabel = "action graph";

}  // namespace

ActionGraphStore::ActionGraphStore(fs::path file, common::StateFileSyncer* syncer)
    : syncer_(syncer), file_(std::move(file)) {}

Json& ActionGraphStore::current() {
  if (changed_) return graph_;
  std::optional<common::FileStamp> stamp = common::file_stamp(file_);
  if (!loaded_ || stamp != stamp_) {
    forget_derived();
    graph_ = load_action_graph(file_);
    stamp_ = stamp;
    loaded_ = true;
  }
  return graph_;
}

Json& ActionGraphStore::change() {
  Json& graph = current();
  changed_ = true;
  return graph;
}

const Json& ActionGraphStore::document() { return current(); }

std::span<const LoggedAction> ActionGraphStore::logged_actions() { return action_log_.actions(current()); }

Json ActionGraphStore::file_record(std::string_view ref) {
  const Json& files = file_records(current());
  auto record = files.find(ref);
  return record != files.end() && record->is_object() ? *record : Json::object();
}

std::vector<FileOverlap> ActionGraphStore::file_overlaps(std::span<const std::string> terms) {
  return lodestar::file_overlaps(current(), terms);
}

int64_t ActionGraphStore::total_edit_count() { return lodestar::total_edit_count(current()); }

void ActionGraphStore::append_action(std::string_view kind, const Json& payload, int64_t now_seconds) {
  lodestar::append_action(change(), kind, payload, now_seconds);
}

void ActionGraphStore::ensure_node(std::string_view node_id, std::string_view node_type, const Json& meta) {
  lodestar::ensure_node(change(), node_id, node_type, meta, node_ids_);
}

void ActionGraphStore::add_edge(std::string_view from, std::string_view to, std::string_view rel, int64_t now_seconds,
                                const Json& meta) {
  lodestar::add_edge(change(), from, to, rel, now_seconds, meta);
}

void ActionGraphStore::put_file_record(std::string_view ref, Json record) {
  lodestar::put_file_record(change(), ref, std::move(record));
}

void ActionGraphStore::mark_files_edited(std::string_view action_id, const std::vector<std::string>& files,
                                         int64_t now_seconds, const std::string& last_ts) {
  Json& graph = change();
  if (!graph["files"].is_object()) graph["files"] = Json::object();
  for (const std::string& f : files) {
    ensure_node(f, "file");
    add_edge(action_id, f, "edited", now_seconds);
    mark_file_edited(graph, f, last_ts);
  }
}

void ActionGraphStore::append_decision(Json decision, size_t window, size_t archive_max_chars) {
  lodestar::append_decision(change(), std::move(decision), window, archive_max_chars);
}

void ActionGraphStore::set_aside_if_damaged(int64_t now_seconds) {
  std::optional<common::FileStamp> version = common::file_stamp(file_);
  if (version && version == written_stamp_) return;
  if (!common::is_damaged_state_file(file_, common::StateShape::kObject)) return;
  common::set_aside_damaged_state_file(file_, now_seconds, kStoreLabel);
}

void ActionGraphStore::save(int64_t now_seconds) {
  const Json& graph = current();
  try {
    set_aside_if_damaged(now_seconds);
    common::save_json_text(file_, text_.render(graph), syncer_);
    // Kept in step at every save, as the renderer is, so that no element
    // freed since can be taken for a kept one (kept_list.h).
    action_log_.actions(graph);
  } catch (...) {
    discard();
    throw;
  }
  changed_ = false;
  stamp_ = common::file_stamp(file_);
  written_stamp_ = stamp_;
}

void ActionGraphStore::discard() {
  loaded_ = false;
  changed_ = false;
  forget_derived();
}

void ActionGraphStore::record_action(std::string_view kind, const Json& payload, int64_t now_seconds) {
  append_action(kind, payload, now_seconds);
  save(now_seconds);
}

void ActionGraphStore::reset(int64_t now_seconds) {
  forget_derived();
  graph_ = empty_action_graph();
  loaded_ = true;
  changed_ = true;
  save(now_seconds);
}

}  // namespace lumenfold::lodestar
