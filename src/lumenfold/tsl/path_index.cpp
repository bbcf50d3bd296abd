#include "lumenfold/tsl/path_index.h"

#include <algorithm>
#include <array>

namespace lumenfold::tsl {
namespace {

// Endings tried, in this order, for an import written without one.
constexpr std::array<std::string_view, 8> kImportEndings = {".ts", ".tsx", ".js", ".jsx", ".py", ".json", ".go", ".cs"};
// Files that stand for their directory when a module names the directory.
constexpr std::array<std::string_view, 4> kPackageFiles = {"__init__.py", "index.ts", "index.js", "index.tsx"};

std::vector<std::string_view> split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(sep, start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(start, end - start);
    if (!part.empty()) parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

std::string join(const std::vector<std::string_view>& parts, size_t from, size_t to, char sep) {
  std::string out;
  for (size_t i = from; i < to; ++i) {
    if (i > from) out += sep;
    out += parts[i];
  }
  return out;
}

bool is_digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "x/y.py:12" and "x/y.py:12:5" name x/y.py.
std::string_view drop_line_suffix(std::string_view path) {
  while (true) {
    size_t colon = path.rfind(':');
    if (colon == std::string_view::npos || !is_digits(path.substr(colon + 1))) return path;
    path = path.substr(0, colon);
  }
}

std::vector<std::string_view> path_components(std::string_view path) {
  std::vector<std::string_view> parts;
  for (std::string_view p : split(path, '/')) {
    if (p != ".") parts.push_back(p);
  }
  return parts;
}

// The dotted module name of a Python file id, or "" for other files.
std::string module_name(std::string_view id) {
  std::string_view stem;
  if (id.ends_with(".py")) {
    stem = id.substr(0, id.size() - 3);
  } else if (id.ends_with(".pyi")) {
    stem = id.substr(0, id.size() - 4);
  } else {
    return "";
  }
  std::vector<std::string_view> parts = split(stem, '/');
  if (!parts.empty() && parts.back() == "__init__") parts.pop_back();
  return join(parts, 0, parts.size(), '.');
}

// Lexically resolves "." and ".." in a "/"-separated relative path; nullopt
// when ".." climbs above the root.
std::optional<std::string> normalize(std::string_view path) {
  std::vector<std::string_view> out;
  for (std::string_view p : split(path, '/')) {
    if (p == ".") continue;
    if (p == "..") {
      if (out.empty()) return std::nullopt;
      out.pop_back();
      continue;
    }
    out.push_back(p);
  }
  return join(out, 0, out.size(), '/');
}

std::string join_dir(std::string_view dir, std::string_view rest) {
  if (dir.empty()) return std::string(rest);
  return std::string(dir) + "/" + std::string(rest);
}

}  // namespace

PathIndex::PathIndex(const std::vector<std::string>& file_ids) : ids_(file_ids) {
  for (uint32_t doc = 0; doc < ids_.size(); ++doc) {
    const std::string& id = ids_[doc];
    by_id_.emplace(id, doc);
    std::vector<std::string_view> parts = split(id, '/');
    for (size_t k = 0; k < parts.size(); ++k) by_suffix_[join(parts, k, parts.size(), '/')].push_back(doc);
    max_path_components_ = std::max(max_path_components_, parts.size());
    std::string module = module_name(id);
    std::vector<std::string_view> mparts = split(module, '.');
    for (size_t k = 0; k < mparts.size(); ++k) by_module_suffix_[join(mparts, k, mparts.size(), '.')].push_back(doc);
    max_module_components_ = std::max(max_module_components_, mparts.size());
  }
}

PathMatch PathIndex::match_path(std::string_view path) const {
  std::string normal(drop_line_suffix(path));
  for (char& c : normal) {
    if (c == '\\') c = '/';
  }
  std::vector<std::string_view> parts = path_components(normal);
  // Each join costs the path's length; trying every start of a path of
  // thousands of components would cost its square.
  size_t first = parts.size() > max_path_components_ ? parts.size() - max_path_components_ : 0;
  for (size_t k = first; k < parts.size(); ++k) {
    auto it = by_suffix_.find(join(parts, k, parts.size(), '/'));
    if (it != by_suffix_.end()) return {it->second, parts.size() - k};
  }
  return {};
}

PathMatch PathIndex::match_module(std::string_view dotted) const {
  std::vector<std::string_view> parts = split(dotted, '.');
  for (size_t k = std::min(parts.size(), max_module_components_); k > 0; --k) {
    auto it = by_module_suffix_.find(join(parts, 0, k, '.'));
    if (it != by_module_suffix_.end()) return {it->second, k};
  }
  return {};
}

std::optional<uint32_t> PathIndex::find(std::string_view file_id) const {
  auto it = by_id_.find(std::string(file_id));
  if (it == by_id_.end()) return std::nullopt;
  return it->second;
}

std::string_view PathIndex::directory_of(uint32_t doc) const {
  std::string_view id = ids_[doc];
  size_t slash = id.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : id.substr(0, slash);
}

std::optional<uint32_t> PathIndex::first_existing(const std::string& base) const {
  if (auto doc = find(base)) return doc;
  for (std::string_view ending : kImportEndings) {
    if (auto doc = find(base + std::string(ending))) return doc;
  }
  for (std::string_view package : kPackageFiles) {
    if (auto doc = find(join_dir(base, package))) return doc;
  }
  return std::nullopt;
}

std::optional<uint32_t> PathIndex::resolve_relative_python(uint32_t from_doc, std::string_view target) const {
  size_t dots = target.find_first_not_of('.');
  if (dots == std::string_view::npos) dots = target.size();
  std::string dir(directory_of(from_doc));
  for (size_t up = 1; up < dots; ++up) {
    size_t slash = dir.rfind('/');
    if (dir.empty()) return std::nullopt;
    dir = slash == std::string::npos ? "" : dir.substr(0, slash);
  }
  std::string rest(target.substr(dots));
  for (char& c : rest) {
    if (c == '.') c = '/';
  }
  return first_existing(rest.empty() ? dir : join_dir(dir, rest));
}

std::optional<uint32_t> PathIndex::resolve_relative_path(uint32_t from_doc, std::string_view target) const {
  std::optional<std::string> base = normalize(join_dir(directory_of(from_doc), target));
  if (!base || base->empty()) return std::nullopt;
  return first_existing(*base);
}

std::optional<uint32_t> PathIndex::resolve(uint32_t from_doc, std::string_view target) const {
  if (target.empty() || from_doc >= ids_.size()) return std::nullopt;
  if (target.starts_with("./") || target.starts_with("../")) return resolve_relative_path(from_doc, target);
  if (target.front() == '.') return resolve_relative_python(from_doc, target);
  if (target.find('/') != std::string_view::npos) {
    PathMatch m = match_path(target);
    if (m.docs.size() == 1 && m.components == path_components(target).size()) return m.docs.front();
    return std::nullopt;
  }
  PathMatch m = match_module(target);
  if (m.docs.size() == 1 && m.components == split(target, '.').size()) return m.docs.front();
  return std::nullopt;
}

}  // namespace lumenfold::tsl
