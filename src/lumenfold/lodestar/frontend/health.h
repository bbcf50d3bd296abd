#pragma once
// The health route: tells a launcher that a server answers, for which
// project, in which version and as which process.

#include <filesystem>

#include "lumenfold/lodestar/frontend/token_log.h"

namespace lumenfold::lodestar {

// 200 with {"ok":true,"root":<project_root>,"version":<common::kVersion>,
// "pid":<pid>} in that order, as application/json.
RouteAnswer health_answer(const std::filesystem::path& project_root, int pid);

}  // namespace lumenfold::lodestar
