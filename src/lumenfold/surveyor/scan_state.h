#pragma once
// What a scan leaves beside the documents it wrote so that the next scan of
// the same root can take an unchanged file's part of them as it is: the
// scanner's version, the root, the two documents' own stamps, and each
// file's record (stamp, hash, where its parts lie). A state that does not
// match all of these is ignored, and the next scan reads and analyses every
// file.

#include <filesystem>
#include <optional>
#include <string>

#include "lumenfold/surveyor/scan.h"

namespace lumenfold::surveyor {

inline constexpr char kScanStateFileName[] = "scan_state.json";

// Writes (atomically) the state of a scan of `root` whose documents were
// just written to `graph_path` and `index_path`. Returns the error text
// when it fails.
std::optional<std::string> write_scan_state(const std::filesystem::path& state_path, const std::filesystem::path& root,
                                            const std::filesystem::path& graph_path,
                                            const std::filesystem::path& index_path, const FileRecords& records);

// The previous scan of `root`: the documents at `graph_path` and
// `index_path` with their files' records, when the state at `state_path`
// was written with them by a scanner of this version for this root; else
// only the graph's file nodes.
PreviousScan load_previous_scan(const std::filesystem::path& root, const std::filesystem::path& graph_path,
                                const std::filesystem::path& index_path, const std::filesystem::path& state_path);

}  // namespace lumenfold::surveyor
