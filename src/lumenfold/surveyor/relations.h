#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/surveyor/node.h"

namespace lumenfold::surveyor {

// The "imports", "requires" and "references" edges of one file, in the
// order the rules find them, not de-duplicated. `path` is the file as
// walked, `text` its full decoded text, `root` the scan root.
std::vector<Edge> parse_relations(const std::filesystem::path& path, std::string_view text,
                                  const std::filesystem::path& root);

// The same for a caller that already knows the file id `from` of `path`.
std::vector<Edge> parse_relations_from(const std::string& from, const std::filesystem::path& path,
                                       std::string_view text);

// The same for a caller that has already read the imports of a parsed
// language off its syntax tree (syntax_facts.h), so the text is not parsed
// again. They are used where the file's extension names such a language.
std::vector<Edge> parse_relations_from(const std::string& from, const std::filesystem::path& path,
                                       std::string_view text, const std::vector<std::string>& syntax_imports);

}  // namespace lumenfold::surveyor
