#include "lumenfold/surveyor/scan_state.h"

#include <cstdint>
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

// A file's record as one array: mtime, size, inode, trusted, hash, then
// at and size of its nodes, edges and index parts, then its node, symbol,
// edge and index entry counts.
constexpr size_t kRecordLength = 15;

Json stamp_to_json(const common::FileStamp& stamp) { return Json::array({stamp.mtime_ns, stamp.size, stamp.inode}); }

Json record_to_json(const FileRecord& r) {
  Json out = stamp_to_json(r.stamp);
  out.push_back(r.trusted);
  out.push_back(r.hash);
  for (const DocumentPart& part : {r.nodes, r.edges, r.index}) {
    out.push_back(part.at);
    out.push_back(part.size);
  }
  for (int64_t count : {r.node_count, r.symbol_count, r.edge_count, r.index_count}) out.push_back(count);
  return out;
}

bool read_stamp(simdjson::dom::array parts, common::FileStamp& stamp) {
  return parts.at(0).get_int64().get(stamp.mtime_ns) == simdjson::SUCCESS &&
         parts.at(1).get_int64().get(stamp.size) == simdjson::SUCCESS &&
         parts.at(2).get_uint64().get(stamp.inode) == simdjson::SUCCESS;
}

std::optional<common::FileStamp> stamp_from(simdjson::dom::element value) {
  simdjson::dom::array parts;
  common::FileStamp stamp;
  if (value.get_array().get(parts) != simdjson::SUCCESS || parts.size() != 3 || !read_stamp(parts, stamp)) {
    return std::nullopt;
  }
  return stamp;
}

// A part that lies within a document of `limit` bytes.
bool read_part(simdjson::dom::array parts, size_t first, size_t limit, DocumentPart& part) {
  uint64_t at = 0, size = 0;
  if (parts.at(first).get_uint64().get(at) != simdjson::SUCCESS ||
      parts.at(first + 1).get_uint64().get(size) != simdjson::SUCCESS || at > limit || size > limit - at) {
    return false;
  }
  part = {static_cast<size_t>(at), static_cast<size_t>(size)};
  return true;
}

std::optional<FileRecord> record_from(simdjson::dom::element value, const PreviousScan& documents) {
  simdjson::dom::array parts;
  FileRecord r;
  std::string_view hash;
  if (value.get_array().get(parts) != simdjson::SUCCESS || parts.size() != kRecordLength ||
      !read_stamp(parts, r.stamp) || parts.at(3).get_bool().get(r.trusted) != simdjson::SUCCESS ||
      parts.at(4).get_string().get(hash) != simdjson::SUCCESS ||
      !read_part(parts, 5, documents.graph.size(), r.nodes) || !read_part(parts, 7, documents.graph.size(), r.edges) ||
      !read_part(parts, 9, documents.index.size(), r.index)) {
    return std::nullopt;
  }
  r.hash = std::string(hash);
  int64_t* counts[] = {&r.node_count, &r.symbol_count, &r.edge_count, &r.index_count};
  for (size_t i = 0; i < std::size(counts); ++i) {
    if (parts.at(11 + i).get_int64().get(*counts[i]) != simdjson::SUCCESS) return std::nullopt;
  }
  return r;
}

// Fills `previous.files` from the state text; false when the state does
// not belong to this scanner, `root` and documents of these stamps.
bool read_records(const std::string& text, const fs::path& root, const common::FileStamp& graph,
                  const common::FileStamp& index, PreviousScan& previous) {
  simdjson::dom::parser parser;
  std::optional<simdjson::dom::element> doc = common::parse_fast(parser, text);
  int64_t version = 0;
  std::string_view state_root;
  simdjson::dom::element graph_member, index_member;
  simdjson::dom::object files;
  if (!doc || (*doc)["scanner_version"].get_int64().get(version) != simdjson::SUCCESS || version != kScannerVersion ||
      (*doc)["root"].get_string().get(state_root) != simdjson::SUCCESS || state_root != root.string() ||
      (*doc)["graph"].get(graph_member) != simdjson::SUCCESS || stamp_from(graph_member) != graph ||
      (*doc)["index"].get(index_member) != simdjson::SUCCESS || stamp_from(index_member) != index ||
      (*doc)["files"].get_object().get(files) != simdjson::SUCCESS) {
    return false;
  }
  for (auto [id, value] : files) {
    std::optional<FileRecord> record = record_from(value, previous);
    if (!record) return false;
    previous.files[std::string(id)] = std::move(*record);
  }
  return true;
}

// A previous scan known only by its graph's file nodes.
PreviousScan with_file_nodes(ExistingNodes file_nodes) {
  PreviousScan previous;
  previous.file_nodes = std::move(file_nodes);
  return previous;
}

}  // namespace

std::optional<std::string> write_scan_state(const fs::path& state_path, const fs::path& root,
                                            const fs::path& graph_path, const fs::path& index_path,
                                            const FileRecords& records) {
  std::optional<common::FileStamp> graph = common::file_stamp(graph_path);
  std::optional<common::FileStamp> index = common::file_stamp(index_path);
  if (!graph || !index) return "cannot stat " + (graph ? index_path : graph_path).string();
  Json files = Json::object();
  for (const auto& [id, record] : records) common::append_new_member(files, id, record_to_json(record));
  Json state = Json::object();
  state["scanner_version"] = kScannerVersion;
  state["root"] = root.string();
  state["graph"] = stamp_to_json(*graph);
  state["index"] = stamp_to_json(*index);
  state["files"] = std::move(files);
  return common::write_file_atomically(state_path, common::dump_compact(state));
}

PreviousScan load_previous_scan(const fs::path& root, const fs::path& graph_path, const fs::path& index_path,
                                const fs::path& state_path) {
  PreviousScan previous;
  std::optional<common::FileStamp> graph = common::file_stamp(graph_path);
  std::optional<common::FileStamp> index = common::file_stamp(index_path);
  std::optional<std::string> state = graph && index ? common::read_file(state_path) : std::nullopt;
  if (!state) return with_file_nodes(load_previous_file_nodes(graph_path));
  previous.graph = common::read_file(graph_path).value_or("");
  previous.index = common::read_file(index_path).value_or("");
  // A document replaced while it was read is not the one the state
  // describes.
  if (common::file_stamp(graph_path) == graph && common::file_stamp(index_path) == index &&
      read_records(*state, root, *graph, *index, previous)) {
    return previous;
  }
  // The graph just read still gives its file nodes.
  return with_file_nodes(previous_file_nodes(previous.graph));
}

}  // namespace lumenfold::surveyor
