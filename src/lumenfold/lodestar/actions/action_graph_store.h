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
// Nothing else touches the document: tools change it through the named
// changes below and read it through const views and copies.
//
// A file that exists but is not a JSON object (or is torn) loads as the
// empty graph, yet is never overwritten: the next save first renames it to
// "chat_action_graph.json.corrupt-<unix seconds>" (state_file.h:
// set_aside_damaged_state_file), so the record can be recovered by hand.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/actions/action_graph_text.h"
#include "lumenfold/lodestar/actions/action_log.h"
#include "lumenfold/lodestar/actions/file_records.h"

namespace lumenfold::common {
class StateFileSyncer;
}

namespace lumenfold::lodestar {

class ActionGraphStore {
 public:
  // The store of the action graph kept at `file` (which need not exist).
  // `syncer` syncs what it saves to disk in the background (it must outlive
  // the store); without one a save is on disk when it returns.
  explicit ActionGraphStore(std::filesystem::path file, common::StateFileSyncer* syncer = nullptr);
  ActionGraphStore(const ActionGraphStore&) = delete;
  ActionGraphStore& operator=(const ActionGraphStore&) = delete;

  const std::filesystem::path& file() const { return file_; }

  // Reads. Each one sees the changes not yet saved; without such changes it
  // first reads the file again when it changed since this store last read
  // or wrote it, as load_action_graph reads it.

  // The whole document, for reading; valid until the next call on this
  // store.
  const common::Json& document();

  // The log of the document, as logged_actions() gives it; valid until the
  // next call on this store.
  std::span<const LoggedAction> logged_actions();

  // A copy of the record of `ref` in "files" (file_records.h); {} when it
  // has none or it is no object.
  common::Json file_record(std::string_view ref);

  // file_overlaps (file_records.h) of the document: every file record with
  // the number of `terms` it shares; valid until the next call on this
  // store.
  std::vector<FileOverlap> file_overlaps(std::span<const std::string> terms);

  // total_edit_count (file_records.h) of the document.
  int64_t total_edit_count();

  // Changes. They stay in memory, seen by the reads above, until save()
  // writes them or discard() drops them; in between the file is not read
  // again, so a save writes over what another writer changed meanwhile.
  // Only these change the document: the elements of "nodes", "edges" and
  // "actions" are never changed once appended, which the kept texts and
  // the kept log rely on (kept_list.h).

  // append_action (action_graph.h).
  void append_action(std::string_view kind, const common::Json& payload, int64_t now_seconds);
  // ensure_node (action_graph.h), finding the existing nodes through an
  // index of their ids.
  void ensure_node(std::string_view node_id, std::string_view node_type, const common::Json& meta = common::Json());
  // add_edge (action_graph.h).
  void add_edge(std::string_view from, std::string_view to, std::string_view rel, int64_t now_seconds,
                const common::Json& meta = common::Json());
  // put_file_record (file_records.h).
  void put_file_record(std::string_view ref, common::Json record);
  // Records an edit of `files` by the action node `action_id`: per file (a
  // file listed twice counts twice) its node, an "edited" edge from the
  // action stamped `now_seconds`, and mark_file_edited (file_records.h)
  // with `last_ts`. Creates or repairs "files" even for no files.
  void mark_files_edited(std::string_view action_id, const std::vector<std::string>& files, int64_t now_seconds,
                         const std::string& last_ts);
  // append_decision (action_graph.h).
  void append_decision(common::Json decision, size_t window, size_t archive_max_chars);

  // Writes the document to the file (laid out as save_action_graph lays it
  // out) after setting a damaged file aside (named from `now_seconds`, the
  // current Unix time). When the write fails, or a damaged file cannot be
  // moved, the unsaved changes are dropped, so the next read reads the file
  // again, and the error is thrown.
  void save(int64_t now_seconds);

  // Drops the changes not saved: the next read reads the file again.
  void discard();

  // Appends one action (append_action) and saves.
  void record_action(std::string_view kind, const common::Json& payload, int64_t now_seconds);

  // Replaces the document with empty_action_graph() and saves it, as a
  // new scan starts the record over.
  void reset(int64_t now_seconds);

 private:
  // The document as it is now: the unsaved one, else the file's, read
  // again when its stamp changed.
  common::Json& current();
  // current(), for a change: from here on until save or discard the
  // document is not read again.
  common::Json& change();
  common::StateFileSyncer* syncer_;
  void set_aside_if_damaged(int64_t now_seconds);
  // What is kept about graph_ between calls, dropped whenever graph_ is
  // replaced or read again.
  void forget_derived() {
    text_.clear();
    node_ids_.clear();
    action_log_.clear();
  }

  const std::filesystem::path file_;
  bool loaded_ = false;
  bool changed_ = false;  // graph_ holds changes not yet saved
  // The stamp the file had when last read or written; nullopt for a file
  // that did not exist.
  std::optional<common::FileStamp> stamp_;
  // The stamp of the version this store wrote last: a save over it needs
  // no check for damage.
  std::optional<common::FileStamp> written_stamp_;
  common::Json graph_;
  // Lays out graph_ for saving, reusing the text of unchanged elements.
  ActionGraphText text_;
  NodeIds node_ids_;
  ActionLog action_log_;
};

}  // namespace lumenfold::lodestar
