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

// Whether the graph was scanned from another directory than `project_root`.
// A graph without a root, or with one that is not text, is accepted.
bool names_other_root(const Json& graph, const std::filesystem::path& project_root) {
  auto root = graph.find("root");
  if (root == graph.end() || !root->is_string()) return false;
  const std::string& text = root->get_ref<const std::string&>();
  if (text.empty()) return false;
  return common::resolve_path(text) != project_root;
}

}  // namespace

std::shared_ptr<const Json> InfoGraphCache::get(const std::filesystem::path& path,
                                                const std::optional<std::filesystem::path>& locked_root) {
  std::optional<common::FileStamp> stamp = common::file_stamp(path);
  if (!stamp) return nullptr;
  if (graph_ && stamp == stamp_ && path == path_) return graph_;

  std::optional<Json> graph = read_graph(path);
  if (!graph) return nullptr;
  // A graph of another project is never served while the root is locked.
  if (locked_root && names_other_root(*graph, *locked_root)) {
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
