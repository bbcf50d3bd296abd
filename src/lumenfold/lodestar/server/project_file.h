#pragma once
// Finding and loading the text of one project file for graph_read, without
// ever leaving the project root.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lumenfold::lodestar {

// `rel` joined to `project_root` (an absolute `rel` stands by itself), made
// absolute with every symbolic link that exists resolved and "." and ".."
// removed. nullopt when the result is neither the root itself nor inside
// it, compared component by component ("/proj-old" is not inside "/proj").
std::optional<std::filesystem::path> resolve_inside_root(const std::filesystem::path& project_root,
                                                         std::string_view rel);

// The text of `path` when it is a regular file, with bytes that are not
// well-formed UTF-8 dropped; nullopt when there is no such file. Throws
// std::runtime_error when the file exists but cannot be read.
std::optional<std::string> read_project_file(const std::filesystem::path& path);

// The stored "content" of the first node of the information graph at
// `info_graph_file` whose "path" equals `rel`: the text of a file deleted
// since the scan. nullopt when the graph is missing or unreadable, no node
// has that path, or that node holds no text content.
std::optional<std::string> content_from_graph(const std::filesystem::path& info_graph_file, std::string_view rel);

}  // namespace lumenfold::lodestar
