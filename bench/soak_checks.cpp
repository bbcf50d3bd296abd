#include "soak_checks.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/memory/memory_prune.h"

namespace lumenfold::bench {

namespace fs = std::filesystem;
using common::Json;

namespace {

constexpr char kContextStoreFile[] = "context-store.json";
constexpr char kActionGraphFile[] = "chat_action_graph.json";
constexpr std::string_view kSpareSuffix = ".swap";
constexpr std::string_view kCorruptMark = ".corrupt-";
constexpr std::string_view kTemporaryMark = ".tmp-";
// The soak's memories are "fact"s; memory_prune.cpp caps a group of any
// kind it does not name at six.
constexpr size_t kFactGroupCap = 6;
constexpr size_t kMaxExamples = 5;
constexpr std::string_view kSummaryPrefix = "soak edit ";

bool ends_with(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

void add_example(std::vector<std::string>& examples, std::string text) {
  if (examples.size() < kMaxExamples) examples.push_back(std::move(text));
}

// nullopt with `why` set when the file cannot be read or does not parse.
std::optional<Json> read_json_file(const fs::path& path, std::string* why) {
  std::optional<std::string> text = common::read_file(path);
  if (!text) {
    *why = "cannot be read";
    return std::nullopt;
  }
  std::optional<Json> doc = common::parse_json(*text);
  if (!doc) *why = text->empty() ? "empty" : "not JSON (" + std::to_string(text->size()) + " bytes)";
  return doc;
}

// The reason a JSON Lines file fails, or "" when every line parses.
std::string jsonl_problem(const fs::path& path) {
  std::optional<std::string> text = common::read_file(path);
  if (!text) return "cannot be read";
  std::istringstream lines(*text);
  std::string line;
  for (int n = 1; std::getline(lines, line); ++n) {
    if (!line.empty() && !common::parse_json(line)) return "line " + std::to_string(n) + " is not JSON";
  }
  return "";
}

// The reason a state file fails the check, or "" when it passes.
std::string state_file_problem(const fs::path& path) {
  std::string name = path.filename().string();
  std::string why;
  if (ends_with(name, kSpareSuffix)) {
    std::error_code ec;
    if (fs::file_size(path, ec) == 0 && !ec) return "";
    if (read_json_file(path, &why)) return "";
    // A spare is written before it is exchanged with its file, so a kill
    // in between leaves it torn beside a sound file: that is the design,
    // not damage. Only a torn spare beside a file that does not parse is.
    fs::path target = path.parent_path() / name.substr(0, name.size() - kSpareSuffix.size());
    std::string target_why;
    if (read_json_file(target, &target_why)) return "";
    return why + "; " + target.filename().string() + " " + target_why;
  }
  if (ends_with(name, ".jsonl")) return jsonl_problem(path);
  return read_json_file(path, &why) ? "" : why;
}

bool is_state_file(std::string_view name) {
  return ends_with(name, ".json") || ends_with(name, ".jsonl") || ends_with(name, std::string(".json") + ".swap");
}

int64_t integer_member(const Json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_number()) return 0;
  return it->is_number_integer() ? it->get<int64_t>() : static_cast<int64_t>(it->get<double>());
}

std::string text_member(const Json& object, const char* key) {
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// What the pruning rule needs to know about the stored entries.
struct StoreShape {
  std::unordered_set<std::string> contents;
  size_t size = 0;
  int64_t oldest_epoch = 0;
  struct Group {
    size_t size = 0;
    int64_t oldest_epoch = 0;
  };
  // Keyed by (kind, symbol_id, file_path).
  std::map<std::tuple<std::string, std::string, std::string>, Group> groups;
};

StoreShape shape_of(const Json& entries) {
  StoreShape shape;
  for (const Json& entry : entries) {
    if (!entry.is_object()) continue;
    int64_t epoch = integer_member(entry, "created_epoch");
    shape.oldest_epoch = shape.size == 0 ? epoch : std::min(shape.oldest_epoch, epoch);
    ++shape.size;
    shape.contents.insert(text_member(entry, "content"));
    auto& group =
        shape.groups[{text_member(entry, "kind"), text_member(entry, "symbol_id"), text_member(entry, "file_path")}];
    group.oldest_epoch = group.size == 0 ? epoch : std::min(group.oldest_epoch, epoch);
    ++group.size;
  }
  return shape;
}

bool may_be_pruned(const AckedMemory& m, const StoreShape& store) {
  if (store.size >= lodestar::kMaxContextEntries && m.earliest_epoch <= store.oldest_epoch) return true;
  auto group = store.groups.find({"fact", "", m.file});
  return group != store.groups.end() && group->second.size >= kFactGroupCap &&
         m.earliest_epoch <= group->second.oldest_epoch;
}

// Client number -> the call numbers of its decisions still listed.
std::map<int, std::set<int64_t>> listed_decisions(const Json& graph, uint64_t seed) {
  std::map<int, std::set<int64_t>> out;
  auto decisions = graph.find("decisions");
  if (decisions == graph.end() || !decisions->is_array()) return out;
  for (const Json& d : *decisions) {
    if (!d.is_object()) continue;
    if (std::optional<EditId> id = parse_edit_summary(text_member(d, "summary"), seed)) {
      out[id->client].insert(id->call_number);
    }
  }
  return out;
}

int64_t edited_count(const Json& graph, const std::string& file) {
  auto files = graph.find("files");
  if (files == graph.end() || !files->is_object()) return 0;
  auto record = files->find(file);
  return record != files->end() && record->is_object() ? integer_member(*record, "edited_count") : 0;
}

}  // namespace

Ledger::Ledger(std::vector<std::string> edit_files) {
  for (std::string& f : edit_files) data_.edits.push_back(ClientEdits{std::move(f), {}, 0});
}

void Ledger::add_memory(AckedMemory memory) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_.memories.push_back(std::move(memory));
}

void Ledger::add_edit_attempt(int client) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++data_.edits[client].attempts;
}

void Ledger::add_edit_ack(int client, int64_t call_number) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_.edits[client].acked.push_back(call_number);
}

LedgerSnapshot Ledger::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return data_;
}

std::string edit_summary(uint64_t seed, int client, int64_t call_number) {
  return std::string(kSummaryPrefix) + std::to_string(seed) + " c" + std::to_string(client) + " n" +
         std::to_string(call_number);
}

std::optional<EditId> parse_edit_summary(std::string_view text, uint64_t seed) {
  std::string head = std::string(kSummaryPrefix) + std::to_string(seed) + " c";
  if (text.substr(0, head.size()) != head) return std::nullopt;
  text.remove_prefix(head.size());
  EditId id{};
  auto [after_client, ec1] = std::from_chars(text.data(), text.data() + text.size(), id.client);
  if (ec1 != std::errc() || std::string_view(after_client, 2) != " n") return std::nullopt;
  const char* end = text.data() + text.size();
  auto [after_number, ec2] = std::from_chars(after_client + 2, end, id.call_number);
  if (ec2 != std::errc() || after_number != end) return std::nullopt;
  return id;
}

FileCheck check_state_files(const fs::path& data_dir) {
  FileCheck check;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(data_dir, ec)) {
    std::string name = entry.path().filename().string();
    if (name.find(kCorruptMark) != std::string::npos) {
      check.set_aside.push_back(name);
    } else if (name.find(kTemporaryMark) != std::string::npos) {
      ++check.leftover_temporaries;
    } else if (is_state_file(name)) {
      ++check.checked;
      std::string problem = state_file_problem(entry.path());
      if (!problem.empty()) check.unparsable.push_back(name + ": " + problem);
    }
  }
  return check;
}

MemoryCheck check_memories(const fs::path& data_dir, const std::vector<AckedMemory>& acked) {
  MemoryCheck check;
  std::string why;
  std::optional<Json> store = read_json_file(data_dir / kContextStoreFile, &why);
  StoreShape shape = store && store->is_array() ? shape_of(*store) : StoreShape{};
  for (const AckedMemory& m : acked) {
    ++check.acked;
    if (shape.contents.count(m.content) > 0) {
      ++check.present;
    } else if (may_be_pruned(m, shape)) {
      ++check.pruned;
    } else {
      ++check.lost;
      add_example(check.lost_examples, "\"" + m.content + "\" (created " + std::to_string(m.earliest_epoch) +
                                           "; store " + std::to_string(shape.size) + " entries, oldest " +
                                           std::to_string(shape.oldest_epoch) + ")");
    }
  }
  return check;
}

EditCheck check_edits(const fs::path& data_dir, const std::vector<ClientEdits>& edits, uint64_t seed) {
  EditCheck check;
  std::string why;
  Json graph = read_json_file(data_dir / kActionGraphFile, &why).value_or(Json::object());
  if (!graph.is_object()) graph = Json::object();
  std::map<int, std::set<int64_t>> listed = listed_decisions(graph, seed);
  for (size_t client = 0; client < edits.size(); ++client) {
    const ClientEdits& e = edits[client];
    int64_t acked = static_cast<int64_t>(e.acked.size());
    int64_t counted = edited_count(graph, e.file);
    check.acked += acked;
    if (counted < acked) {
      check.count_short += acked - counted;
      add_example(check.examples, e.file + ": edited_count " + std::to_string(counted) + " < " + std::to_string(acked) +
                                      " acknowledged");
    }
    if (counted > e.attempts) check.over_counted += counted - e.attempts;
    const std::set<int64_t>& mine = listed[static_cast<int>(client)];
    if (mine.empty()) continue;
    for (int64_t n : e.acked) {
      if (n <= *mine.begin() || mine.count(n) > 0) continue;
      ++check.decisions_missing;
      add_example(check.examples, "decision \"" + edit_summary(seed, static_cast<int>(client), n) + "\" missing");
    }
  }
  return check;
}

}  // namespace lumenfold::bench
