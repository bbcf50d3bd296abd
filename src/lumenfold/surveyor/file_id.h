#pragma once
// Stable file ids and extensions.

#include <filesystem>
#include <string>

namespace lumenfold::surveyor {

// The file id of `path` under `root`: both fully resolved, then the
// "/"-joined relative path. A file outside the root (reached through a link)
// gets a lexical relative path starting with "..".
std::string rel(const std::filesystem::path& path, const std::filesystem::path& root);

// The same id from paths that are already fully resolved.
std::string rel_resolved(const std::filesystem::path& resolved_path, const std::filesystem::path& resolved_root);

// The extension of the final name, with its dot and in its original case:
// the text from the last "." when that dot is neither the first nor the last
// character of the name; "" otherwise.
std::string extension_of(const std::filesystem::path& path);

}  // namespace lumenfold::surveyor
