#include "lumenfold/lodestar/frontend/ingest_graph.h"

#include <filesystem>

#include <nlohmann/json.hpp>

#include "lumenfold/common/json_simd.h"
#include "lumenfold/common/result.h"
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
  const Json& list = doc.at(list_key);
  return list.is_array() || list.is_object() ? list.size() : 0;
}

// The general parser's reading of `body`, or its own message, which names
// the place of the error.
common::Result<Json> parse_slowly(std::string_view body) {
  try {
    return Json::parse(body);
  } catch (const nlohmann::json::exception& e) {
    return common::Error{e.what()};
  }
}

// simdjson refuses some JSON that the general parser reads (integers past
// 64 bits, nesting deeper than 1024 levels), so only the general parser's
// refusal makes the body "not JSON".
common::Result<Json> parse_upload(std::string_view body) {
  simdjson::dom::parser parser;
  if (std::optional<simdjson::dom::element> root = common::parse_fast(parser, body)) return common::to_json(*root);
  return parse_slowly(body);
}

}  // namespace

RouteAnswer ingest_graph(std::string_view body, ServerState& state) {
  // An uploaded graph carries the text of every file: simdjson parses it
  // an order of magnitude faster than the general parser.
  common::Result<Json> parsed = parse_upload(body);
  if (!parsed) return refuse(parsed.error());
  Json doc = std::move(*parsed);
  if (!doc.is_object() || !doc.contains("nodes") || !doc.contains("edges")) return refuse("missing nodes/edges");

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
