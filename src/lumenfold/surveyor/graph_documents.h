#pragma once
// The two documents a scan produces, as files: the information graph
// (pretty-printed) and the symbol index beside it (one line).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

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

// The file nodes of the graph document at `path`, by id. Empty when the
// file is missing, unreadable, not JSON, or has a file node without an id.
ExistingNodes load_previous_file_nodes(const std::filesystem::path& path);

// The same as a rescan uses it: the file nodes, and for each file of
// `records` (files the graph's own scan read) that has a file node, its
// record, symbol nodes and the edges from it.
PreviousScan load_previous_graph(const std::filesystem::path& path,
                                 std::unordered_map<std::string, FileRecord> records);

// Writes `graph` (indented) to `graph_path` and `index` (one line) to
// `index_path`, each atomically. Returns the error text of the first
// failed write.
std::optional<std::string> write_graph_documents(const common::Json& graph, const std::filesystem::path& graph_path,
                                                 const common::Json& index, const std::filesystem::path& index_path);

// The same for a graph already laid out as dump_indented lays it out.
std::optional<std::string> write_graph_text(std::string_view graph_text, const std::filesystem::path& graph_path,
                                            const common::Json& index, const std::filesystem::path& index_path);

}  // namespace lumenfold::surveyor
