#pragma once
// The server's state files (action graph, context store, retrieval cache):
// small documents rewritten whole on almost every tool call.
//
// A write must not leave a torn document behind and must not make the
// caller wait for the disk. So the new bytes go to a spare file kept beside
// the target ("<name>.swap"), the two names are exchanged atomically, and a
// background thread then syncs the new version to disk. Until that sync is
// done the previous version, now in the spare, is already on disk: before a
// write reuses the spare it waits for the pending sync of the current
// version, and once that sync is done the previous version in the spare
// is emptied in the background (it is no longer needed, and freeing its
// blocks would otherwise slow the next write). After a power loss the
// target is the new version, or a torn file next to the intact previous
// version, which read_state_file returns.
//
// Writers of the same target in other processes are serialised by a lock
// on the spare. Where the file system cannot exchange names, or the target
// does not exist yet, the write falls back to write_file_atomically (a new
// temporary file, synced, renamed over the target) and is on disk when the
// call returns.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "lumenfold/common/json.h"

namespace lumenfold::common {

// The spare file of `target`.
std::filesystem::path spare_file_of(const std::filesystem::path& target);

// Syncs written state files on its own thread, one at a time, oldest
// first. Its destructor syncs what is still pending, then ends the thread.
// Thread-safe. In a process forked from the one that made it, the thread
// is not there: writes through it are then synced before they return.
class StateFileSyncer {
 public:
  StateFileSyncer();
  ~StateFileSyncer();
  StateFileSyncer(const StateFileSyncer&) = delete;
  StateFileSyncer& operator=(const StateFileSyncer&) = delete;

  // Blocks until every state file written through this syncer so far is on
  // disk. Returns the errors of syncs not reported yet, one per line, or
  // nullopt.
  std::optional<std::string> sync_all();

  // Tests only: while held, versions written from then on are left unsynced
  // (so their previous versions stay in the spares, as at a power loss); a
  // second write of such a target blocks until the hold is lifted.
  void TEST_hold(bool hold);

 private:
  friend std::optional<std::string> write_state_file(const std::filesystem::path& target, std::string_view bytes,
                                                     StateFileSyncer* syncer);
  class Worker;
  std::unique_ptr<Worker> worker_;
};

// Replaces `target` with `bytes`. The new content is visible to every reader
// when the call returns; it reaches the disk shortly after, synced by
// `syncer` - or before the call returns when `syncer` is null. Returns the
// error text, or nullopt on success. An earlier background sync of `target`
// that failed is reported by this call (and the write is not made).
std::optional<std::string> write_state_file(const std::filesystem::path& target, std::string_view bytes,
                                            StateFileSyncer* syncer);

// The document in `path` parsed, or nullopt when `path` is missing or
// unreadable. A target that exists but does not parse (a write torn by a
// power loss) gives the previous version from its spare file when that one
// parses; `from_spare`, when given, tells whether that happened. A target
// that is gone is gone: its spare is not read.
std::optional<Json> read_state_file(const std::filesystem::path& path, bool* from_spare = nullptr);

// What the top level of a sound state file holds.
enum class StateShape { kObject, kArray };

// Whether `path` exists but its own bytes are not a JSON document of
// `shape`: it cannot be read, is not JSON (a torn write, even one whose
// spare is sound), or holds another kind of value. Such a file reads as
// empty, or as its spare's version, and must be set aside before a write
// replaces it. A missing file is not damaged.
bool is_damaged_state_file(const std::filesystem::path& path, StateShape shape);

// Renames the damaged state file `path` to "<path>.corrupt-<now_seconds>",
// with "-2", "-3", ... appended when an earlier copy of the same second is
// there, so that no write replaces it and its owner can recover it by hand;
// says so on stderr, calling the file `what` ("context store"). Returns the
// new path. Throws std::runtime_error naming the file when it cannot be
// renamed.
std::filesystem::path set_aside_damaged_state_file(const std::filesystem::path& path, int64_t now_seconds,
                                                   std::string_view what);

}  // namespace lumenfold::common
