#pragma once
// What a scan leaves beside the graph it wrote so that the next scan of
// the same root can skip the files that did not change: the scanner's
// version, the root, the graph file's own stamp and each file's record.
// A state that does not match all of these is ignored, and the next scan
// reads and analyses every file.

#include <filesystem>
#include <optional>
#include <string>

#include "lumenfold/surveyor/scan.h"

namespace lumenfold::surveyor {

inline constexpr char kScanStateFileName[] = "scan_state.json";

// Writes (atomically) the state of a scan of `root` whose graph was just
// written to `graph_path`. Returns the error text when it fails.
std::optional<std::string> write_scan_state(const std::filesystem::path& state_path, const std::filesystem::path& root,
                                            const std::filesystem::path& graph_path, const FileRecords& records);

// The previous scan of `root` as the graph at `graph_path` and the state at
// `state_path` give it: the graph's file nodes always; each file's record,
// symbols and edges only when the state was written by a scanner of this
// version, for this root, along with that very graph file.
PreviousScan load_previous_scan(const std::filesystem::path& root, const std::filesystem::path& graph_path,
                                const std::filesystem::path& state_path);

}  // namespace lumenfold::surveyor
