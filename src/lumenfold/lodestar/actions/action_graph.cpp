#include "lumenfold/lodestar/actions/action_graph.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json_document.h"
#include "lumenfold/common/state_file.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/actions/slim_payload.h"

namespace lumenfold::lodestar {

namespace fs = std::filesystem;
using common::Json;

namespace {

// Edges are appended on every retrieval and read; the newest 500 are enough
// for the evidence queries and keep the file small.
constexpr size_t kMaxEdges = 500;
// The rolling tool-action log: the newest 300 actions.
constexpr size_t kMaxActions = 300;

struct MemberShape {
  std::string_view name;
  Json::value_t type;
};
// The members whose type every reader relies on. A hand-edited or foreign
// document may hold anything under these names; reading the wrong type as
// empty keeps every later step well defined.
constexpr std::array<MemberShape, 6> kMemberShapes = {{
    {"nodes", Json::value_t::array},
    {"edges", Json::value_t::array},
    {"files", Json::value_t::object},
    {"actions", Json::value_t::array},
    {"decisions", Json::value_t::array},
    {"decisions_archive", Json::value_t::string},
}};

void repair_member_types(Json& graph) {
  for (const MemberShape& shape : kMemberShapes) {
    auto it = graph.find(shape.name);
    if (it != graph.end() && it->type() != shape.type) *it = Json(shape.type);
  }
}

// The list stored under `name`, created when absent and replaced when it is
// not a list (documents built in memory skip the repair of the loader).
Json& list_member(Json& graph, std::string_view name) {
  Json& member = graph[std::string(name)];
  if (!member.is_array()) member = Json::array();
  return member;
}

void keep_newest(Json& list, size_t limit) {
  if (list.size() <= limit) return;
  list.erase(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(list.size() - limit));
}

// Stored decisions may have been edited by hand: only text summaries are
// archived.
std::string joined_summaries(const Json& decisions, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text += "; ";
    const Json& d = decisions[i];
    if (d.is_object()) text += common::get_text(d, "summary");
  }
  return text;
}

// Keeps the newest decisions as a list and folds the older ones into the
// archive text, which never passes its cap.
void fold_old_decisions(Json& graph, size_t window, size_t archive_max_chars) {
  Json& decisions = graph["decisions"];
  if (decisions.size() <= window) return;
  size_t old_count = decisions.size() - window;
  std::string text = joined_summaries(decisions, old_count);
  decisions.erase(decisions.begin(), decisions.begin() + static_cast<std::ptrdiff_t>(old_count));
  std::string archive = common::get_text(graph, "decisions_archive");
  if (!archive.empty()) {
    archive.erase(archive.find_last_not_of('.') + 1);
    text = archive + "; " + text;
  }
  graph["decisions_archive"] = std::string(common::cut_code_points(text, archive_max_chars));
}

bool is_non_empty_object(const Json& v) { return v.is_object() && !v.empty(); }

// The text id of a node; nullopt for an element that is no node or has none.
std::optional<std::string_view> node_id_of(const Json& node) {
  if (!node.is_object()) return std::nullopt;
  auto id = node.find("id");
  if (id == node.end() || !id->is_string()) return std::nullopt;
  return std::string_view(id->get_ref<const std::string&>());
}

bool has_node(const Json& nodes, std::string_view node_id) {
  for (const Json& node : nodes) {
    if (node_id_of(node) == node_id) return true;
  }
  return false;
}

void append_node(Json& nodes, std::string_view node_id, std::string_view node_type, const Json& meta) {
  Json node = Json::object();
  node["id"] = std::string(node_id);
  node["type"] = std::string(node_type);
  if (is_non_empty_object(meta)) node["meta"] = meta;
  nodes.push_back(std::move(node));
}

}  // namespace

Json empty_action_graph() {
  Json graph = Json::object();
  graph["nodes"] = Json::array();
  graph["edges"] = Json::array();
  graph["files"] = Json::object();
  graph["actions"] = Json::array();
  return graph;
}

Json load_action_graph(const fs::path& file) {
  std::optional<Json> doc = common::read_state_file(file);
  if (!doc || !doc->is_object()) return empty_action_graph();
  repair_member_types(*doc);
  return std::move(*doc);
}

void save_action_graph(const fs::path& file, const Json& graph, common::StateFileSyncer* syncer) {
  common::save_json_document(file, graph, syncer);
}

void ensure_node(Json& graph, std::string_view node_id, std::string_view node_type) {
  ensure_node(graph, node_id, node_type, Json());
}

void ensure_node(Json& graph, std::string_view node_id, std::string_view node_type, const Json& meta) {
  Json& nodes = list_member(graph, "nodes");
  if (!has_node(nodes, node_id)) append_node(nodes, node_id, node_type, meta);
}

void ensure_node(Json& graph, std::string_view node_id, std::string_view node_type, const Json& meta, NodeIds& ids) {
  Json& nodes = list_member(graph, "nodes");
  if (!ids.contains(nodes, node_id)) append_node(nodes, node_id, node_type, meta);
}

bool NodeIds::contains(const Json& nodes, std::string_view node_id) {
  // Fewer nodes than indexed: not the document this index was made for.
  if (nodes.size() < indexed_) clear();
  for (; indexed_ < nodes.size(); ++indexed_) {
    const Json& node = nodes[indexed_];
    if (std::optional<std::string_view> id = node_id_of(node)) ids_.emplace(*id);
  }
  return ids_.find(node_id) != ids_.end();
}

void NodeIds::clear() {
  ids_.clear();
  indexed_ = 0;
}

void add_edge(Json& graph, std::string_view from, std::string_view to, std::string_view rel, int64_t now_seconds) {
  add_edge(graph, from, to, rel, now_seconds, Json());
}

void add_edge(Json& graph, std::string_view from, std::string_view to, std::string_view rel, int64_t now_seconds,
              const Json& meta) {
  Json& edges = list_member(graph, "edges");
  Json edge = Json::object();
  edge["from"] = std::string(from);
  edge["to"] = std::string(to);
  edge["rel"] = std::string(rel);
  edge["ts"] = now_seconds;
  if (is_non_empty_object(meta)) edge["meta"] = meta;
  edges.push_back(std::move(edge));
  keep_newest(edges, kMaxEdges);
}

void append_action(Json& graph, std::string_view kind, const Json& payload, int64_t now_seconds) {
  Json& actions = list_member(graph, "actions");
  Json action = Json::object();
  action["ts"] = now_seconds;
  action["kind"] = std::string(kind);
  action["payload"] = slim_payload(kind, payload);
  actions.push_back(std::move(action));
  keep_newest(actions, kMaxActions);
}

void append_decision(Json& graph, Json decision, size_t window, size_t archive_max_chars) {
  Json& decisions = graph["decisions"];
  if (!decisions.is_array()) decisions = Json::array();
  decisions.push_back(std::move(decision));
  fold_old_decisions(graph, window, archive_max_chars);
}

void record_action(const fs::path& file, std::string_view kind, const Json& payload, int64_t now_seconds,
                   common::StateFileSyncer* syncer) {
  Json graph = load_action_graph(file);
  append_action(graph, kind, payload, now_seconds);
  save_action_graph(file, graph, syncer);
}

}  // namespace lumenfold::lodestar
