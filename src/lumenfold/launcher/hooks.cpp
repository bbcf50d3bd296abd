#include "lumenfold/launcher/hooks.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/launcher/loopback.h"

namespace lumenfold::launcher {

namespace fs = std::filesystem;
using common::Json;

namespace {

// Well inside the time Claude Code allows a hook, and short enough that a
// stuck server does not hold up the conversation.
constexpr std::chrono::milliseconds kHookHttpTimeout{2000};
// What the token log says a line came from.
constexpr char kTurnDescription[] = "claude code turn";

bool is_prompt(const Json& entry) {
  const Json& content = common::member_or_null(common::member_or_null(entry, "message"), "content");
  if (content.is_string()) return true;
  if (!content.is_array()) return false;
  for (const Json& block : content) {
    if (common::get_text(block, "type") != "tool_result") return true;
  }
  return false;
}

int64_t count_of(const Json& usage, std::string_view key) {
  return common::as_integer(common::member_or_null(usage, key)).value_or(0);
}

TurnUsage usage_of(const Json& message) {
  const Json& usage = common::member_or_null(message, "usage");
  return {count_of(usage, "input_tokens"), count_of(usage, "output_tokens"),
          count_of(usage, "cache_creation_input_tokens"), count_of(usage, "cache_read_input_tokens"),
          common::get_text(message, "model")};
}

std::string read_stdin() {
  return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

void print_prime(int port) {
  std::optional<HttpAnswer> answer = http_get(port, "/prime", kHookHttpTimeout);
  if (!answer || answer->status != 200 || answer->body.empty()) return;
  std::cout << answer->body << "\n";
}

void log_turn(std::string_view input, int port, const fs::path& root) {
  std::optional<Json> doc = common::parse_json(input);
  if (!doc) return;
  std::string transcript_path = common::get_text(*doc, "transcript_path");
  if (transcript_path.empty()) return;
  std::optional<std::string> transcript = common::read_file(transcript_path);
  if (!transcript) return;
  std::optional<TurnUsage> usage = sum_turn_usage(*transcript);
  if (!usage) return;
  Json body{{"input_tokens", usage->input_tokens},
            {"output_tokens", usage->output_tokens},
            {"cache_creation_input_tokens", usage->cache_creation_input_tokens},
            {"cache_read_input_tokens", usage->cache_read_input_tokens},
            {"model", usage->model},
            {"project", root.filename().string()},
            {"description", kTurnDescription}};
  (void)http_post_json(port, "/log", common::dump_compact(body), kHookHttpTimeout);
}

}  // namespace

std::optional<TurnUsage> sum_turn_usage(std::string_view transcript) {
  // Per message id, its latest usage: a streamed message is written once
  // per content block, each entry carrying the usage so far.
  std::vector<std::pair<std::string, TurnUsage>> messages;
  for (std::string_view line : common::split_lines(transcript)) {
    std::optional<Json> entry = common::parse_json(line);
    if (!entry || !entry->is_object()) continue;
    std::string type = common::get_text(*entry, "type");
    if (type == "user" && is_prompt(*entry)) messages.clear();
    const Json& message = common::member_or_null(*entry, "message");
    if (type != "assistant" || !common::member_or_null(message, "usage").is_object()) continue;
    std::string id = common::get_text(message, "id");
    auto same = std::find_if(messages.begin(), messages.end(),
                             [&id](const auto& seen) { return !id.empty() && seen.first == id; });
    if (same != messages.end()) messages.erase(same);
    messages.emplace_back(id, usage_of(message));
  }
  if (messages.empty()) return std::nullopt;
  TurnUsage total;
  for (const auto& [id, usage] : messages) {
    total.input_tokens += usage.input_tokens;
    total.output_tokens += usage.output_tokens;
    total.cache_creation_input_tokens += usage.cache_creation_input_tokens;
    total.cache_read_input_tokens += usage.cache_read_input_tokens;
    if (!usage.model.empty()) total.model = usage.model;
  }
  return total;
}

int run_hook(const std::string& name, int port, const fs::path& root) {
  // Read all of the input first, so the agent's write never meets a closed
  // pipe.
  std::string input = read_stdin();
  if (port == 0) return 0;
  if (name == "prime") print_prime(port);
  if (name == "stop") log_turn(input, port, root);
  return 0;
}

}  // namespace lumenfold::launcher
