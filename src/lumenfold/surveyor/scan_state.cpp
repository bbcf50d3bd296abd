#include "lumenfold/surveyor/scan_state.h"

#include <unordered_map>
#include <utility>

#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json_simd.h"
#include "lumenfold/surveyor/graph_documents.h"

namespace lumenfold::surveyor {

namespace fs = std::filesystem;
using common::Json;

namespace {

Json stamp_to_json(const common::FileStamp& stamp) { return Json::array({stamp.mtime_ns, stamp.size, stamp.inode}); }

std::optional<common::FileStamp> stamp_from(simdjson::dom::element value) {
  simdjson::dom::array parts;
  if (value.get_array().get(parts) != simdjson::SUCCESS || parts.size() < 3) return std::nullopt;
  common::FileStamp stamp;
  if (parts.at(0).get_int64().get(stamp.mtime_ns) != simdjson::SUCCESS ||
      parts.at(1).get_int64().get(stamp.size) != simdjson::SUCCESS ||
      parts.at(2).get_uint64().get(stamp.inode) != simdjson::SUCCESS) {
    return std::nullopt;
  }
  return stamp;
}

// The file records of the state text, or nullopt when the state does not
// belong to this scanner, `root` and the graph whose stamp is `graph`.
std::optional<std::unordered_map<std::string, FileRecord>> records_for(const std::string& text, const fs::path& root,
                                                                       const common::FileStamp& graph) {
  simdjson::dom::parser parser;
  std::optional<simdjson::dom::element> doc = common::parse_fast(parser, text);
  int64_t version = 0;
  std::string_view state_root;
  simdjson::dom::object files;
  if (!doc || (*doc)["scanner_version"].get_int64().get(version) != simdjson::SUCCESS || version != kScannerVersion ||
      (*doc)["root"].get_string().get(state_root) != simdjson::SUCCESS || state_root != root.string() ||
      (*doc)["files"].get_object().get(files) != simdjson::SUCCESS) {
    return std::nullopt;
  }
  simdjson::dom::element graph_member;
  if ((*doc)["graph"].get(graph_member) != simdjson::SUCCESS || stamp_from(graph_member) != graph) return std::nullopt;
  std::unordered_map<std::string, FileRecord> records;
  for (auto [id, value] : files) {
    simdjson::dom::array parts;
    std::optional<common::FileStamp> stamp = stamp_from(value);
    std::string_view hash;
    bool trusted = false;
    if (!stamp || value.get_array().get(parts) != simdjson::SUCCESS || parts.size() != 5 ||
        parts.at(3).get_bool().get(trusted) != simdjson::SUCCESS ||
        parts.at(4).get_string().get(hash) != simdjson::SUCCESS) {
      return std::nullopt;
    }
    records[std::string(id)] = FileRecord{*stamp, trusted, std::string(hash)};
  }
  return records;
}

}  // namespace

std::optional<std::string> write_scan_state(const fs::path& state_path, const fs::path& root,
                                            const fs::path& graph_path, const FileRecords& records) {
  std::optional<common::FileStamp> graph = common::file_stamp(graph_path);
  if (!graph) return "cannot stat " + graph_path.string();
  Json files = Json::object();
  for (const auto& [id, record] : records) {
    Json entry = stamp_to_json(record.stamp);
    entry.push_back(record.trusted);
    entry.push_back(record.hash);
    common::append_new_member(files, id, std::move(entry));
  }
  Json state = Json::object();
  state["scanner_version"] = kScannerVersion;
  state["root"] = root.string();
  state["graph"] = stamp_to_json(*graph);
  state["files"] = std::move(files);
  return common::write_file_atomically(state_path, state.dump());
}

PreviousScan load_previous_scan(const fs::path& root, const fs::path& graph_path, const fs::path& state_path) {
  std::optional<common::FileStamp> graph = common::file_stamp(graph_path);
  std::optional<std::string> text = graph ? common::read_file(state_path) : std::nullopt;
  std::optional<std::unordered_map<std::string, FileRecord>> records =
      text ? records_for(*text, root, *graph) : std::nullopt;
  return load_previous_graph(graph_path, records ? std::move(*records) : std::unordered_map<std::string, FileRecord>{});
}

}  // namespace lumenfold::surveyor
