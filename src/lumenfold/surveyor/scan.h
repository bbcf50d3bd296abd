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

// Where one file's part lies in a document: its first byte and its length.
struct DocumentPart {
  size_t at = 0;
  size_t size = 0;
};

// What a scan recorded of a file it kept, for the next one: its stamp
// (modification time, size, inode) and content hash, and where its nodes,
// its edges and its symbol index entries lie in the documents written. A
// stamp taken too close to the scan's start is not trusted: the file may
// change again within the same clock tick.
struct FileRecord {
  common::FileStamp stamp;
  bool trusted = false;
  std::string hash;
  DocumentPart nodes, edges, index;
  int64_t node_count = 0, symbol_count = 0, edge_count = 0, index_count = 0;
};

// The records of the files a scan kept, by file id, in scan order.
using FileRecords = std::vector<std::pair<std::string, FileRecord>>;

// What the previous scan of the same root left. `file_nodes` are its
// graph's file nodes: a file whose hash matches keeps its node's keywords,
// summary and content, as every scan does. When the scan state beside that
// graph was written with it by a scanner of this version (scan_state.h),
// `graph` and `index` are the two documents and `files` the records of the
// files in them instead: an unchanged file's parts are taken as they are.
struct PreviousScan {
  ExistingNodes file_nodes;
  std::string graph;
  std::string index;
  std::unordered_map<std::string, FileRecord> files;
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

// The two documents of a scan as their files hold them: the information
// graph (dump_indented's layout) and its symbol index (dump_spaced's), with
// the graph's counts and the records for the next scan.
struct ScanDocuments {
  std::string graph;
  std::string index;
  int64_t node_count = 0, edge_count = 0, file_count = 0, symbol_count = 0;
  int64_t index_count = 0;  // the index's entries
  FileRecords records;
};

// The documents of `root`. The graph is {"root", "node_count",
// "edge_count", "file_count", "symbol_count", "nodes", "edges"}; the index
// is build_symbol_index of its nodes. Files that are too large or
// unreadable are skipped. A file whose stamp matches its trusted record in
// `previous` is not read at all; one whose hash matches is not analysed
// again. Writes nothing.
ScanDocuments scan_documents(const std::filesystem::path& root, const PreviousScan& previous,
                             const ScanOptions& options);

// The information graph of `root` as a document in memory, reusing only
// what every scan reuses: a matching file node's keywords, summary and
// content.
common::Json scan(const std::filesystem::path& root, const ExistingNodes& existing_nodes = {},
                  const ScanProgress& progress = {});

// The scanned text of a file: UTF-8 with invalid bytes dropped, "\r\n" and
// "\r" turned into "\n". nullopt when it cannot be read or is too large.
std::optional<std::string> read_source_text(const std::filesystem::path& path, int64_t* size);

// Edges with duplicate (from, to, rel) removed; first occurrence wins.
std::vector<Edge> dedupe_edges(const std::vector<Edge>& edges);

}  // namespace lumenfold::surveyor
