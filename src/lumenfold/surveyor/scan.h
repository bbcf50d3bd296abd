#pragma once
// The scan: one pass over the walked files building the information graph.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/surveyor/node.h"

namespace lumenfold::surveyor {

// Files larger than this are never read: generated bundles and data dumps
// would swamp the graph.
constexpr int64_t kMaxFileBytes = 300000;
// A file node keeps at most this many characters of its text, which bounds
// the size of the graph document.
constexpr size_t kMaxContentChars = 24000;

// Previous file nodes (as_dict objects) by file id.
using ExistingNodes = std::unordered_map<std::string, common::Json>;

// Told how many of the walked files a scan has handled, out of how many:
// once with done = 0 as soon as the walk has counted them, then after each
// file (skipped ones too), so the last call has done == total. Called on
// the scanning thread.
using ScanProgress = std::function<void(size_t done, size_t total)>;

// The information graph document of `root`: {"root", "node_count",
// "edge_count", "file_count", "symbol_count", "nodes", "edges"}. A file whose
// hash matches its entry in `existing_nodes` keeps that entry's keywords,
// summary and content; symbols and relations are always recomputed. Files
// that are too large or unreadable are skipped. Writes nothing; `progress`,
// when given, hears of every file.
common::Json scan(const std::filesystem::path& root, const ExistingNodes& existing_nodes = {},
                  const ScanProgress& progress = {});

// The scanned text of a file: UTF-8 with invalid bytes dropped, "\r\n" and
// "\r" turned into "\n". nullopt when it cannot be read or is too large.
std::optional<std::string> read_source_text(const std::filesystem::path& path, int64_t* size);

// Edges with duplicate (from, to, rel) removed; first occurrence wins.
std::vector<Edge> dedupe_edges(const std::vector<Edge>& edges);

}  // namespace lumenfold::surveyor
