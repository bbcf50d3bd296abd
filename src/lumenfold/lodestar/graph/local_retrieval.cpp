#include "lumenfold/lodestar/graph/local_retrieval.h"

#include <cstdio>
#include <exception>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/lodestar/graph/info_graph_cache.h"
#include "lumenfold/lodestar/graph/retrieval_module.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;

// The module is outside code: any failure of it means "no local
// retrieval", never a failed tool call, so this is the one place that
// catches its exceptions.
std::optional<Json> ask_module(RetrievalModule& module, const Json& graph, std::string_view query, int64_t top_files,
                               int64_t top_edges) {
  try {
    return module.retrieve(graph, query, top_files, top_edges);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "retrieval module failed, asking the remote graph API: %s\n", e.what());
    return std::nullopt;
  }
}

}  // namespace

std::optional<Json> rank_local_graph(RetrievalModule* module, InfoGraphCache& graphs,
                                     const std::filesystem::path& graph_file,
                                     const std::optional<std::filesystem::path>& locked_root, std::string_view query,
                                     int64_t top_files, int64_t top_edges) {
  if (module == nullptr) return std::nullopt;
  std::shared_ptr<const Json> graph = graphs.get(graph_file, locked_root);
  if (!graph) return std::nullopt;
  std::optional<Json> ranked = ask_module(*module, *graph, query, top_files, top_edges);
  if (!ranked || !ranked->is_object()) return std::nullopt;
  auto files = ranked->find("files");
  auto edges = ranked->find("edges");
  if (files == ranked->end() || edges == ranked->end()) return std::nullopt;

  Json out = Json::object();
  out["ok"] = true;
  out["query"] = std::string(query);
  out["graph_files"] = std::move(*files);
  out["graph_edges"] = std::move(*edges);
  out["grep_hits"] = Json::array();
  return out;
}

std::vector<std::string> ranked_file_ids(const Json& ranked, size_t limit) {
  std::vector<std::string> ids;
  const Json& files = common::member_or_null(ranked, "graph_files");
  if (!files.is_array()) return ids;
  for (size_t i = 0; i < files.size() && i < limit; ++i) {
    const Json& id = common::member_or_null(files[i], "id");
    if (id.is_null()) continue;
    std::string text = common::made_text(id);
    if (!text.empty()) ids.push_back(std::move(text));
  }
  return ids;
}

}  // namespace lumenfold::lodestar
