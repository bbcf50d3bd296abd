#include "lumenfold/lodestar/server/project_file.h"

#include <stdexcept>
#include <system_error>
#include <vector>

#include <simdjson.h>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json_simd.h"
#include "lumenfold/common/utf8.h"

namespace lumenfold::lodestar {

namespace fs = std::filesystem;

namespace {

// The named components of `path`; a trailing "/" adds an empty name that
// must not count.
std::vector<fs::path> components(const fs::path& path) {
  std::vector<fs::path> out;
  for (const fs::path& part : path) {
    if (!part.empty()) out.push_back(part);
  }
  return out;
}

bool starts_with_components(const fs::path& path, const fs::path& root) {
  std::vector<fs::path> p = components(path);
  std::vector<fs::path> r = components(root);
  if (p.size() < r.size()) return false;
  for (size_t i = 0; i < r.size(); ++i) {
    if (p[i] != r[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<fs::path> resolve_inside_root(const fs::path& project_root, std::string_view rel) {
  std::error_code ec;
  // The root is compared in the same resolved form as the path.
  fs::path root = fs::weakly_canonical(fs::absolute(project_root, ec), ec);
  if (ec) root = fs::absolute(project_root, ec).lexically_normal();
  const fs::path joined = root / fs::path(rel);
  // Resolving links (with ".." applied to where a link leads, as the kernel
  // does) is what keeps a link inside the project that points outside it
  // from being followed. When resolution fails the lexical form is checked
  // instead, and reading it then fails the same way.
  fs::path resolved = fs::weakly_canonical(joined, ec);
  if (ec) resolved = joined.lexically_normal();
  if (!starts_with_components(resolved, root)) return std::nullopt;
  return resolved;
}

std::optional<std::string> read_project_file(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  std::optional<std::string> bytes = common::read_file(path);
  if (!bytes) throw std::runtime_error("cannot read " + path.string());
  return common::drop_invalid_utf8(*bytes);
}

std::optional<std::string> content_from_graph(const fs::path& info_graph_file, std::string_view rel) {
  std::optional<std::string> text = common::read_file(info_graph_file);
  if (!text) return std::nullopt;
  // The graph can be hundreds of megabytes, and only one node is wanted:
  // simdjson finds it without building the whole document.
  simdjson::dom::parser parser;
  std::optional<simdjson::dom::element> doc = common::parse_fast(parser, *text);
  if (!doc) return std::nullopt;
  simdjson::dom::array nodes;
  if ((*doc)["nodes"].get(nodes) != simdjson::SUCCESS) return std::nullopt;
  for (simdjson::dom::element node : nodes) {
    std::string_view path;
    if (node["path"].get(path) != simdjson::SUCCESS || path != rel) continue;
    std::string_view content;
    if (node["content"].get(content) != simdjson::SUCCESS) return std::nullopt;
    return std::string(content);
  }
  return std::nullopt;
}

}  // namespace lumenfold::lodestar
