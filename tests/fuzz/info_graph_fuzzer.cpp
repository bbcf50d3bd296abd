// The information graph, read from a file holding the input through the
// content stripper and the order-keeping parser. Reading never throws; it
// gives exactly what nlohmann's parser makes of the text with every node's
// "content" removed, and nothing when the text is not a graph. The stripper
// gives the same text whether it is fed the file whole or byte by byte.

#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "lumenfold/lodestar/graph/info_graph_cache.h"
#include "lumenfold/lodestar/graph/node_content_stripper.h"
#include "lumenfold/lodestar/server/settings.h"
#include "test_support/temp_dir.h"

namespace {

using lumenfold::common::Json;
using lumenfold::fuzz::require;
using lumenfold::fuzz::require_equal;
using namespace lumenfold::lodestar;

// What the cache must hold for `text`: nlohmann's parse with node contents
// removed, or nullopt when the text is not a graph.
std::optional<Json> expected_graph(std::string_view text) {
  std::optional<Json> doc = lumenfold::common::parse_json(text);
  if (!doc || !doc->is_object()) return std::nullopt;
  auto nodes = doc->find("nodes");
  if (nodes == doc->end()) return doc;
  if (!nodes->is_array()) return std::nullopt;
  for (Json& node : *nodes) {
    if (node.is_object()) node.erase("content");
  }
  return doc;
}

std::optional<std::string> strip(std::string_view text, size_t piece_size) {
  NodeContentStripper stripper;
  for (size_t at = 0; at < text.size(); at += piece_size) stripper.feed(text.substr(at, piece_size));
  return stripper.finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumenfold::testing::TempDir dir;
  const std::string_view text = lumenfold::fuzz::as_text(data, size);
  Settings settings;
  settings.data_dir = dir.path() / "data";
  settings.project_root = dir.path() / "proj";
  dir.write("data/info_graph.json", text);

  InfoGraphCache cache;
  std::shared_ptr<const Json> graph = cache.get(settings.info_graph_file(), settings.locked_project_root);
  std::optional<Json> expected = expected_graph(text);
  require(static_cast<bool>(graph) == expected.has_value(), "a graph is read exactly when the text is one");
  if (graph) require_equal(*graph, *expected, "the graph is the parsed text without node contents");

  std::optional<std::string> whole = strip(text, text.size() + 1);
  require(strip(text, 1) == whole, "the stripper does not depend on how the text is split");
  if (whole && lumenfold::common::parse_json(text)) {
    require(lumenfold::common::parse_json(*whole).has_value(), "stripped JSON is still JSON");
  }
  return 0;
}
