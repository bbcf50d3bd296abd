#pragma once
// The two documents a scan produces, as files: the information graph
// (pretty-printed) and the symbol index beside it (one line).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/surveyor/scan.h"

namespace lumenfold::surveyor {

inline constexpr char kSymbolIndexFileName[] = "symbol_index.json";

// The symbol index of a graph's "nodes": symbol id -> {"line_start",
// "line_end", "body_hash", "confidence", "path"}, in node order; a repeated
// id keeps its first position and takes the later values. Symbol nodes
// without an id are skipped; missing line numbers read as 0 and missing
// texts as "" (a graph uploaded from elsewhere may lack them).
common::Json build_symbol_index(const common::Json& nodes);

// Appends the symbol index entries of one file's `nodes` to `out` as the
// index lays them out ("id": {...}, joined by ", ") and returns their ids.
// The index of a graph whose ids are all distinct is these entries, file
// after file, between braces.
std::vector<std::string> append_symbol_index_entries(std::string& out, const std::vector<common::Json>& nodes);

// The file nodes of the graph document at `path`, by id. Empty when the
// file is missing, unreadable, not JSON, or has a file node without an id.
ExistingNodes load_previous_file_nodes(const std::filesystem::path& path);
// The same for the graph's text, already read.
ExistingNodes previous_file_nodes(std::string_view graph_text);

// Writes `graph` (indented) to `graph_path` and `index` (one line) to
// `index_path`, each atomically. Returns the error text of the first
// failed write.
std::optional<std::string> write_graph_documents(const common::Json& graph, const std::filesystem::path& graph_path,
                                                 const common::Json& index, const std::filesystem::path& index_path);

// The same for documents already laid out: the graph as dump_indented
// lays it out, the index as dump_spaced does.
std::optional<std::string> write_graph_files(std::string_view graph_text, const std::filesystem::path& graph_path,
                                             std::string_view index_text, const std::filesystem::path& index_path);

}  // namespace lumenfold::surveyor
