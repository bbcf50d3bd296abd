#pragma once
// A server state for tool and route tests: project and data directory in a
// temporary directory, a fixed clock, no retrieval module, and a remote
// graph API that answers from a table instead of the network.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/graph/http_transport.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar::testing {

// 2026-01-31T09:15:02+00:00: a whole second, so timestamps are predictable.
inline constexpr double kTestNow = 1769850902.0;

// Answers GETs by URL from `answers`; anything else is unreachable.
class TableTransport : public HttpTransport {
 public:
  explicit TableTransport(std::map<std::string, std::string> answers) : answers_(std::move(answers)) {}
  common::Result<HttpResponse> send(const HttpRequest& request) override {
    auto it = answers_.find(request.url);
    if (it == answers_.end()) return common::Error{"connection refused"};
    return HttpResponse{200, it->second};
  }

 private:
  std::map<std::string, std::string> answers_;
};

inline Settings test_settings(const lumenfold::testing::TempDir& dir) {
  Settings s;
  s.project_root = dir.path() / "proj";
  s.data_dir = dir.path() / "data";
  s.session_start_epoch = static_cast<int64_t>(kTestNow) - 60;
  std::filesystem::create_directories(s.project_root);
  return s;
}

inline std::unique_ptr<ServerState> make_test_state(const lumenfold::testing::TempDir& dir,
                                                    std::map<std::string, std::string> remote_answers = {}) {
  return std::make_unique<ServerState>(test_settings(dir), nullptr,
                                       std::make_unique<TableTransport>(std::move(remote_answers)),
                                       [] { return kTestNow; });
}

// The lines of the tool-call log in the data directory, parsed, oldest
// first.
inline std::vector<common::Json> logged_lines(const lumenfold::testing::TempDir& dir) {
  std::vector<common::Json> lines;
  const std::string text = dir.read("data/mcp_tool_calls.jsonl");
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(common::Json::parse(text.substr(start, end - start)));
  }
  return lines;
}

// The "payload" of each of those lines.
inline std::vector<common::Json> logged_payloads(const lumenfold::testing::TempDir& dir) {
  std::vector<common::Json> payloads;
  for (const common::Json& line : logged_lines(dir)) payloads.push_back(line["payload"]);
  return payloads;
}

}  // namespace lumenfold::lodestar::testing
