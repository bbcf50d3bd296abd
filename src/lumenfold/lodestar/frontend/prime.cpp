#include "lumenfold/lodestar/frontend/prime.h"

#include <algorithm>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json_simd.h"
#include "lumenfold/lodestar/memory/memory_search.h"
#include "lumenfold/lodestar/server/server_state.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// Enough to re-orient an agent without flooding a fresh context.
constexpr size_t kPrimeDecisions = 5;
constexpr size_t kPrimeEditedFiles = 8;
constexpr int64_t kPrimeMemories = 5;

// The graph's file count as text ("?" when it has neither count), or
// nullopt when the graph cannot be read. Only two numbers are needed from
// a document that may be a hundred megabytes, so it is not converted.
std::optional<std::string> scanned_file_count(const std::filesystem::path& graph_file) {
  std::optional<std::string> text = common::read_file(graph_file);
  if (!text) return std::nullopt;
  simdjson::dom::parser parser;
  std::optional<simdjson::dom::element> doc = common::parse_fast(parser, *text);
  if (!doc || !doc->is_object()) return std::nullopt;
  for (const char* key : {"file_count", "node_count"}) {
    simdjson::dom::element value;
    if ((*doc)[key].get(value) == simdjson::SUCCESS) return common::made_text(common::to_json(value));
  }
  return "?";
}

std::string member_text(const Json& obj, const char* key) {
  auto it = obj.is_object() ? obj.find(key) : obj.end();
  return (!obj.is_object() || it == obj.end()) ? "" : common::made_text(*it);
}

struct EditedFile {
  std::string file;
  int64_t count;
  std::string count_text;
};

// Files with a positive edit count, most edited first (ties keep order).
std::vector<EditedFile> edited_files(const Json& files) {
  std::vector<EditedFile> edited;
  if (!files.is_object()) return edited;
  for (const auto& [file, record] : files.items()) {
    std::optional<int64_t> count = 0;
    if (record.is_object() && record.contains("edited_count")) count = common::as_integer(record["edited_count"]);
    if (count && *count > 0) edited.push_back({file, *count, member_text(record, "edited_count")});
  }
  std::stable_sort(edited.begin(), edited.end(),
                   [](const EditedFile& a, const EditedFile& b) { return a.count > b.count; });
  return edited;
}

std::string memory_line(const Json& memory) {
  std::string line = "- ";
  if (common::is_truthy(memory.value("stale", Json(false)))) line += "[STALE] ";
  line += member_text(memory, "content");
  std::string location = common::get_text(memory, "symbol_id");
  if (location.empty()) location = common::get_text(memory, "file_path");
  if (!location.empty()) line += " (" + location + ")";
  return line;
}

}  // namespace

std::string prime_text(ServerState& state) {
  const Settings& settings = state.settings;
  const Json& graph = state.action_graph.document();
  std::vector<EditedFile> edited = edited_files(graph.value("files", Json::object()));
  Json all_decisions = graph.value("decisions", Json::array());
  std::vector<Json> decisions;
  if (all_decisions.is_array()) {
    size_t first = all_decisions.size() > kPrimeDecisions ? all_decisions.size() - kPrimeDecisions : 0;
    decisions.assign(all_decisions.begin() + static_cast<std::ptrdiff_t>(first), all_decisions.end());
  }
  std::string archive = common::get_text(graph, "decisions_archive");
  SymbolLookup symbols = state.symbols();
  std::vector<Json> memories = search_context_store(
      MemoryScope{state.context_store, symbols, state.now(), settings.session_start_epoch}, "", {}, kPrimeMemories);

  std::vector<std::string> items = {"# Tessel Context", "Project: " + settings.project_root.string()};
  if (std::optional<std::string> count = scanned_file_count(settings.info_graph_file())) {
    items.push_back("Files scanned: " + *count);
  }
  if (!edited.empty()) {
    items.push_back("\n## Recently edited");
    for (size_t i = 0; i < edited.size() && i < kPrimeEditedFiles; ++i) {
      items.push_back("- " + edited[i].file + " (edited " + edited[i].count_text + "x)");
    }
  }
  if (!decisions.empty() || !archive.empty()) {
    items.push_back("\n## Decisions");
    if (!archive.empty()) items.push_back("(older) " + archive);
    for (const Json& d : decisions) items.push_back("- " + member_text(d, "summary"));
  }
  if (!memories.empty()) {
    items.push_back("\n## Memories");
    for (const Json& m : memories) items.push_back(memory_line(m));
  }
  if (edited.empty() && decisions.empty() && memories.empty()) {
    items.push_back("\n(No prior edits recorded \xE2\x80\x94 graph is fresh)");
  }
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += '\n';
    text += items[i];
  }
  return text;
}

}  // namespace lumenfold::lodestar
