#include "lumenfold/surveyor/file_id.h"

namespace lumenfold::surveyor {

namespace fs = std::filesystem;

namespace {

// Fully resolved; a path that does not exist (a dangling link's target, say)
// is resolved as far as it exists, as realpath-style resolution does.
fs::path resolve(const fs::path& p) {
  std::error_code ec;
  fs::path r = fs::weakly_canonical(fs::absolute(p, ec), ec);
  return ec ? fs::absolute(p).lexically_normal() : r;
}

std::string join_generic(const fs::path& relative) {
  std::string out;
  for (const auto& part : relative) {
    if (part.empty() || part == ".") continue;
    if (!out.empty()) out += '/';
    out += part.string();
  }
  return out;
}

}  // namespace

std::string rel(const fs::path& path, const fs::path& root) {
  // Inside the root this is the plain relative path; outside it (a file
  // reached through a link that leaves the project) the lexical relative
  // path starts with "..", so the scan carries on instead of failing.
  return rel_resolved(resolve(path), resolve(root));
}

std::string rel_resolved(const fs::path& resolved_path, const fs::path& resolved_root) {
  return join_generic(resolved_path.lexically_relative(resolved_root));
}

std::string extension_of(const fs::path& path) {
  std::string name = path.filename().string();
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return "";
  return name.substr(dot);
}

}  // namespace lumenfold::surveyor
