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

const Json& ActionGraphStore::load(const fs::path& file) { return edit(file); }

Json& ActionGraphStore::edit(const fs::path& file) {
  std::optional<common::FileStamp> stamp = common::file_stamp(file);
  if (!loaded_ || file != file_ || stamp != stamp_) {
    forget_derived();
    graph_ = load_action_graph(file);
    file_ = file;
    stamp_ = stamp;
    loaded_ = true;
  }
  return graph_;
}

void ActionGraphStore::set_aside_if_damaged(int64_t now_seconds) {
  std::optional<common::FileStamp> version = common::file_stamp(file_);
  if (version && version == written_stamp_) return;
  if (!common::is_damaged_state_file(file_, common::StateShape::kObject)) return;
  common::set_aside_damaged_state_file(file_, now_seconds, kStoreLabel);
}

void ActionGraphStore::save(int64_t now_seconds) {
  assert(loaded_);
  try {
    set_aside_if_damaged(now_seconds);
    common::save_json_text(file_, text_.render(graph_), syncer_);
    // Kept in step at every save, as the renderer is, so that no element
    // freed since can be taken for a kept one (kept_list.h).
    action_log_.actions(graph_);
  } catch (...) {
    discard();
    throw;
  }
  stamp_ = common::file_stamp(file_);
  written_stamp_ = stamp_;
}

void ActionGraphStore::save(const fs::path& file, Json graph, int64_t now_seconds) {
  file_ = file;
  forget_derived();
  graph_ = std::move(graph);
  loaded_ = true;
  save(now_seconds);
}

void ActionGraphStore::ensure_node(std::string_view node_id, std::string_view node_type, const Json& meta) {
  assert(loaded_);
  lodestar::ensure_node(graph_, node_id, node_type, meta, node_ids_);
}

void ActionGraphStore::record_action(const fs::path& file, std::string_view kind, const Json& payload,
                                     int64_t now_seconds) {
  append_action(edit(file), kind, payload, now_seconds);
  save(now_seconds);
}

}  // namespace lumenfold::lodestar
