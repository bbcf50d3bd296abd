#include "lumenfold/lodestar/actions/action_graph_store.h"

#include <cassert>
#include <utility>

#include "lumenfold/common/json_document.h"
#include "lumenfold/lodestar/actions/action_graph.h"

namespace lumenfold::lodestar {

namespace fs = std::filesystem;
using common::Json;

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

void ActionGraphStore::save() {
  assert(loaded_);
  try {
    common::save_json_text(file_, text_.render(graph_));
    // Kept in step at every save, as the renderer is, so that no element
    // freed since can be taken for a kept one (kept_list.h).
    action_log_.actions(graph_);
  } catch (...) {
    discard();
    throw;
  }
  stamp_ = common::file_stamp(file_);
}

void ActionGraphStore::save(const fs::path& file, Json graph) {
  file_ = file;
  forget_derived();
  graph_ = std::move(graph);
  loaded_ = true;
  save();
}

void ActionGraphStore::ensure_node(std::string_view node_id, std::string_view node_type, const Json& meta) {
  assert(loaded_);
  lodestar::ensure_node(graph_, node_id, node_type, meta, node_ids_);
}

void ActionGraphStore::record_action(const fs::path& file, std::string_view kind, const Json& payload,
                                     int64_t now_seconds) {
  append_action(edit(file), kind, payload, now_seconds);
  save();
}

}  // namespace lumenfold::lodestar
