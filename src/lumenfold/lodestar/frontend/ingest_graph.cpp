#include "lumenfold/lodestar/frontend/ingest_graph.h"

#include <filesystem>

#include <nlohmann/json.hpp>

#include "lumenfold/common/json_simd.h"
#include "lumenfold/lodestar/tools/graph_documents_store.h"
#include "lumenfold/lodestar/tools/server_state.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

RouteAnswer refuse(std::string error) {
  return {400, "application/json", common::dump_compact(Json{{"ok", false}, {"error", std::move(error)}})};
}

// The size member of `doc`, or the length of its list when absent.
Json count_or_length(const Json& doc, const char* count_key, const char* list_key) {
  auto it = doc.find(count_key);
  if (it != doc.end()) return *it;
  return doc.at(list_key).size();
}

// The parser's own message for text that is not JSON: it names the place.
std::string parse_error_text(std::string_view body) {
  try {
    Json parsed = Json::parse(body);
    (void)parsed;
  } catch (const nlohmann::json::exception& e) {
    return e.what();
  }
  return "invalid JSON";
}

}  // namespace

RouteAnswer ingest_graph(std::string_view body, ServerState& state) {
  // An uploaded graph carries the text of every file: simdjson parses it
  // an order of magnitude faster than the general parser.
  simdjson::dom::parser parser;
  std::optional<simdjson::dom::element> root = common::parse_fast(parser, body);
  if (!root) return refuse(parse_error_text(body));
  Json doc = common::to_json(*root);
  if (!doc.is_object() || !doc.contains("nodes") || !doc.contains("edges")) return refuse(kMissingNodesOrEdgesError);
  // Stored, such a graph reads as having no nodes, and every tool would
  // quietly turn to the remote API instead.
  if (!doc["nodes"].is_array() || !doc["edges"].is_array()) return refuse(kNodesOrEdgesNotListsError);

  doc["root"] = state.settings.project_root.string();
  store_graph_documents(doc, state);
  std::error_code ec;
  std::filesystem::remove(state.settings.retrieval_cache_file(), ec);
  Json answer{{"ok", true},
              {"node_count", count_or_length(doc, "node_count", "nodes")},
              {"edge_count", count_or_length(doc, "edge_count", "edges")}};
  return {200, "application/json", common::dump_compact(answer)};
}

}  // namespace lumenfold::lodestar
