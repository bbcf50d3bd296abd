#include "lumenfold/lodestar/graph/info_graph_cache.h"

// A real project's graph can pass 100 MB, nearly all of it file texts. The
// file goes through NodeContentStripper in pieces and the remainder through
// a parser that drops "content" members, so the texts are never held and
// the first load stays well under a second.

#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/lodestar/graph/json_dom_builder.h"
#include "lumenfold/lodestar/graph/node_content_stripper.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;

constexpr DroppedMember kNodeContent = {"nodes", "content"};

std::optional<Json> read_graph(const std::filesystem::path& path) {
  std::optional<std::string> text = read_graph_without_contents(path);
  if (!text) return std::nullopt;
  std::optional<Json> doc = parse_document(*text, &kNodeContent);
  if (!doc || !doc->is_object()) return std::nullopt;
  auto nodes = doc->find("nodes");
  if (nodes != doc->end() && !nodes->is_array()) return std::nullopt;
  return doc;
}

}  // namespace

std::optional<std::filesystem::path> other_project_root(const Json& graph, const std::filesystem::path& project_root) {
  auto root = graph.find("root");
  if (root == graph.end() || !root->is_string() || root->get_ref<const std::string&>().empty()) return std::nullopt;
  std::filesystem::path resolved = common::resolve_path(root->get<std::string>());
  if (resolved == project_root) return std::nullopt;
  return resolved;
}

std::shared_ptr<const Json> InfoGraphCache::get(const std::filesystem::path& path,
                                                const std::optional<std::filesystem::path>& locked_root) {
  std::optional<common::FileStamp> stamp = common::file_stamp(path);
  if (!stamp) return nullptr;
  if (graph_ && stamp == stamp_ && path == path_) return graph_;

  std::optional<Json> graph = read_graph(path);
  if (!graph) return nullptr;
  // A graph of another project is never served while the root is locked.
  if (locked_root && other_project_root(*graph, *locked_root)) {
    graph_.reset();
    stamp_.reset();
    return nullptr;
  }
  graph_ = std::make_shared<const Json>(std::move(*graph));
  stamp_ = stamp;
  path_ = path;
  return graph_;
}

}  // namespace lumenfold::lodestar
