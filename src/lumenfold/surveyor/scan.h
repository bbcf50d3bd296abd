#pragma once
// The scan: one pass over the walked files building the information graph.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "lumenfold/common/file_io.h"
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
// the thread that called scan.
using ScanProgress = std::function<void(size_t done, size_t total)>;

// The version of the rules that turn a file into nodes and edges. A rescan
// reuses a file's analysis only from a scan of the same version, so a
// change of the rules reaches every file: bump it with any change to what
// the scanner writes for some file.
constexpr int64_t kScannerVersion = 1;

// What a scan recorded of a file it read, for the next one: its stamp
// (modification time, size, inode) and content hash. A stamp taken too
// close to the scan's start is not trusted: the file may change again
// within the same clock tick.
struct FileRecord {
  common::FileStamp stamp;
  bool trusted = false;
  std::string hash;
};

// A file's analysis from the previous scan: its record, its symbol nodes
// and the edges from it, as the graph holds them.
struct PreviousFile {
  FileRecord record;
  std::vector<common::Json> symbol_nodes;
  std::vector<Edge> edges;
};

// What the previous scan of the same root left. `file_nodes` are its
// graph's file nodes: a file whose hash matches keeps its node's keywords,
// summary and content, as every scan does. `files` is filled only when the
// scan state beside that graph was written with it by a scanner of this
// version: a file found there unchanged keeps its symbols and edges too.
struct PreviousScan {
  ExistingNodes file_nodes;
  std::unordered_map<std::string, PreviousFile> files;
};

struct ScanOptions {
  // Files analysed at once; 0 for one per core. The documents do not
  // depend on it.
  unsigned jobs = 0;
  // Read and hash every file, even one whose size and modification time
  // match the previous scan's.
  bool full = false;
  ScanProgress progress;
};

// The records of the files a scan kept, by file id, in scan order.
using FileRecords = std::vector<std::pair<std::string, FileRecord>>;

// The information graph document of `root`: {"root", "node_count",
// "edge_count", "file_count", "symbol_count", "nodes", "edges"}. Files that
// are too large or unreadable are skipped. A file whose size and
// modification time match its trusted record in `previous` is not read at
// all; one whose hash matches is not analysed again. Writes nothing;
// `records`, when given, receives what the next scan needs.
common::Json scan(const std::filesystem::path& root, const PreviousScan& previous, const ScanOptions& options,
                  FileRecords* records = nullptr);

// The same, reusing only what every scan reuses: a matching file node's
// keywords, summary and content.
common::Json scan(const std::filesystem::path& root, const ExistingNodes& existing_nodes = {},
                  const ScanProgress& progress = {});

// The scanned text of a file: UTF-8 with invalid bytes dropped, "\r\n" and
// "\r" turned into "\n". nullopt when it cannot be read or is too large.
std::optional<std::string> read_source_text(const std::filesystem::path& path, int64_t* size);

// Edges with duplicate (from, to, rel) removed; first occurrence wins.
std::vector<Edge> dedupe_edges(const std::vector<Edge>& edges);

}  // namespace lumenfold::surveyor
