#pragma once
// The action graph of the running server, parsed once and kept in memory
// while its file is unchanged. Every tool call reads the graph, most write
// it: without the cache each of them would parse the whole document again.
//
// The file stays the truth: a load first compares the file's stamp
// (modification time, size, inode) with the one this store last read or
// wrote, so a change made by another process, or by hand, is read again.
// Not thread-safe: the server runs one tool call at a time.
//
// A file that exists but is not a JSON object (or is torn) loads as the
// empty graph, yet is never overwritten: the next save first renames it to
// "chat_action_graph.json.corrupt-<unix seconds>" (state_file.h:
// set_aside_damaged_state_file), so the record can be recovered by hand.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/actions/action_graph_text.h"
#include "lumenfold/lodestar/actions/action_log.h"

namespace lumenfold::common {
class StateFileSyncer;
}

namespace lumenfold::lodestar {

class ActionGraphStore {
 public:
  // `syncer` syncs what it saves to disk in the background (it must outlive
  // the store); without one a save is on disk when it returns.
  explicit ActionGraphStore(common::StateFileSyncer* syncer = nullptr) : syncer_(syncer) {}
  ActionGraphStore(const ActionGraphStore&) = delete;
  ActionGraphStore& operator=(const ActionGraphStore&) = delete;

  // The document at `file`, read as load_action_graph reads it. The
  // reference stays valid until the next call on this store.
  const common::Json& load(const std::filesystem::path& file);

  // The same document, to be changed in place and then written with
  // save(). Changes left unsaved are seen by later loads of this store.
  common::Json& edit(const std::filesystem::path& file);

  // Writes the document last loaded or edited to its file, as
  // save_action_graph does, after setting a damaged file aside (named from
  // `now_seconds`, the current Unix time). When the write fails, or a
  // damaged file cannot be moved, the cached copy is dropped, so the next
  // load reads the file again, and the error is thrown. REQUIRES: load() or
  // edit() was called.
  void save(int64_t now_seconds);

  // ensure_node (action_graph.h) on the document last edited, finding the
  // existing nodes through an index of their ids. REQUIRES: edit() was
  // called.
  void ensure_node(std::string_view node_id, std::string_view node_type, const common::Json& meta = common::Json());

  // The log of the document last loaded or edited, as logged_actions()
  // gives it; valid until the next call on this store. REQUIRES: load() or
  // edit() was called.
  std::span<const LoggedAction> logged_actions() { return action_log_.actions(graph_); }

  // Forgets changes made through edit() and not saved: the next load
  // reads the file again.
  void discard() {
    loaded_ = false;
    forget_derived();
  }

  // Replaces the document at `file` with `graph` and saves it.
  void save(const std::filesystem::path& file, common::Json graph, int64_t now_seconds);

  // Appends one action (see append_action) and saves.
  void record_action(const std::filesystem::path& file, std::string_view kind, const common::Json& payload,
                     int64_t now_seconds);

 private:
  common::StateFileSyncer* syncer_;
  std::filesystem::path file_;
  bool loaded_ = false;
  // The stamp the file had when last read or written; nullopt for a file
  // that did not exist.
  std::optional<common::FileStamp> stamp_;
  // The stamp of the version this store wrote last: a save over it needs
  // no check for damage.
  std::optional<common::FileStamp> written_stamp_;
  void set_aside_if_damaged(int64_t now_seconds);
  common::Json graph_;
  // What is kept about graph_ between calls, dropped whenever graph_ is
  // replaced or read again.
  void forget_derived() {
    text_.clear();
    node_ids_.clear();
    action_log_.clear();
  }
  // Lays out graph_ for saving, reusing the text of unchanged elements.
  ActionGraphText text_;
  NodeIds node_ids_;
  ActionLog action_log_;
};

}  // namespace lumenfold::lodestar
