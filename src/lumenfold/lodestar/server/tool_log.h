#pragma once
// The log of tool calls in the data directory: one JSON line per call.

#include <filesystem>
#include <string_view>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// Appends {"timestamp", "tool", "payload"} as one line to `log_file`,
// creating its directory; the timestamp is `now_epoch` as iso_time writes
// it (callers pass the server state's clock). Throws std::runtime_error
// when it cannot write.
void log_tool(const std::filesystem::path& log_file, double now_epoch, std::string_view name,
              const common::Json& payload);

}  // namespace lumenfold::lodestar
