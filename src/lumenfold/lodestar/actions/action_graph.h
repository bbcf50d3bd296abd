#pragma once
// The action graph: the per-project record of queries, retrieved, read and
// edited files, and a rolling log of tool actions, kept as one JSON document
// ("chat_action_graph.json" in the data directory). Every writer loads the
// whole document, changes it in memory and writes it back whole.
//
// Document members, created on first use: "nodes" (list of {"id", "type",
// "meta"?}), "edges" (list of {"from", "to", "rel", "ts", "meta"?}, newest
// 500), "files" (object: file reference to file record), "actions" (list of
// {"ts", "kind", "payload"}, newest 300); edit registration adds
// "decisions" and "decisions_archive". Readers take an absent member as
// empty.
//
// The elements of "nodes", "edges" and "actions" are never changed once
// appended; those lists only grow at the end, and "edges" and "actions"
// lose their oldest elements ("nodes" none). The server's writer relies on
// it (kept_list.h, NodeIds below).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "lumenfold/common/json.h"
#include "lumenfold/common/text_hash.h"

namespace lumenfold::common {
class StateFileSyncer;
}

namespace lumenfold::lodestar {

// {"nodes": [], "edges": [], "files": {}, "actions": []}, in that order.
common::Json empty_action_graph();

// The document stored at `file`, as a new object. A missing, unreadable or
// unparsable file, or one that does not hold a JSON object, reads as the
// empty graph; the file itself is left as it is. Members of the wrong type
// are read as empty ("nodes", "edges", "actions", "decisions" as [],
// "files" as {}, "decisions_archive" as ""), keeping their place; the
// elements inside those members are returned as stored.
common::Json load_action_graph(const std::filesystem::path& file);

// Writes `graph` to `file` (two-space indent, ASCII only, member order kept),
// creating its directory. The old file is replaced atomically: a crash
// leaves the old or the new document. Throws std::runtime_error when the
// directory or the file cannot be written. `syncer` as for save_json_document.
void save_action_graph(const std::filesystem::path& file, const common::Json& graph,
                       common::StateFileSyncer* syncer = nullptr);

// Appends the node {"id": node_id, "type": node_type} to graph["nodes"]
// unless a node with that id exists (that node is left as it is, whatever
// its type or meta). `meta` is stored as "meta" only when it is a non-empty
// object. Creates "nodes" when absent. REQUIRES: graph is an object.
void ensure_node(common::Json& graph, std::string_view node_id, std::string_view node_type);
void ensure_node(common::Json& graph, std::string_view node_id, std::string_view node_type, const common::Json& meta);

// The ids of one document's nodes, so that finding a node need not walk
// the whole list, which grows by a node per new query until the next scan.
// Nodes are only ever appended, so the index catches up with those added
// since it last looked. It belongs to one document: clear() it whenever the
// document is replaced or read again.
class NodeIds {
 public:
  // Whether `nodes` (the document's "nodes" list) holds a node with that id.
  bool contains(const common::Json& nodes, std::string_view node_id);
  void clear();

 private:
  std::unordered_set<std::string, common::TextHash, std::equal_to<>> ids_;
  size_t indexed_ = 0;
};

// ensure_node, with the existing nodes looked up in `ids`.
void ensure_node(common::Json& graph, std::string_view node_id, std::string_view node_type, const common::Json& meta,
                 NodeIds& ids);

// Appends the edge {"from", "to", "rel", "ts": now_seconds} to
// graph["edges"] (no de-duplication), "meta" only when a non-empty object,
// then keeps only the newest 500 edges. REQUIRES: graph is an object.
void add_edge(common::Json& graph, std::string_view from, std::string_view to, std::string_view rel,
              int64_t now_seconds);
void add_edge(common::Json& graph, std::string_view from, std::string_view to, std::string_view rel,
              int64_t now_seconds, const common::Json& meta);

// Appends {"ts": now_seconds, "kind": kind, "payload": slim_payload(kind,
// payload)} to graph["actions"] and keeps the newest 300 actions.
// REQUIRES: graph is an object.
void append_action(common::Json& graph, std::string_view kind, const common::Json& payload, int64_t now_seconds);

// Appends `decision` to graph["decisions"] (made a list when it is none)
// and keeps the newest `window` decisions there; the summaries of the older
// ones (text summaries only) are folded, joined by "; ", into the text
// "decisions_archive" after what it held (its trailing dots dropped), cut
// to `archive_max_chars` code points. REQUIRES: graph is an object.
void append_decision(common::Json& graph, common::Json decision, size_t window, size_t archive_max_chars);

// Loads the document at `file`, appends {"ts": now_seconds, "kind": kind,
// "payload": slim_payload(kind, payload)} to "actions", keeps the newest 300
// actions and saves it. A caller holding its own loaded copy must save it
// before this call, or reload after it, or one of the two writes is lost.
// Throws as save_action_graph.
void record_action(const std::filesystem::path& file, std::string_view kind, const common::Json& payload,
                   int64_t now_seconds, common::StateFileSyncer* syncer = nullptr);

}  // namespace lumenfold::lodestar
