#include "lumenfold/lodestar/frontend/health.h"

#include <string>

#include <nlohmann/json.hpp>

#include "lumenfold/common/json.h"
#include "lumenfold/common/version.h"

namespace lumenfold::lodestar {

RouteAnswer health_answer(const std::filesystem::path& project_root, int pid) {
  common::Json body{
      {"ok", true}, {"root", project_root.string()}, {"version", std::string(common::kVersion)}, {"pid", pid}};
  return {200, "application/json", common::dump_compact(body)};
}

}  // namespace lumenfold::lodestar
