#include "lumenfold/lodestar/server/tool_log.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/lodestar/memory/epoch_time.h"

namespace lumenfold::lodestar {

void log_tool(const std::filesystem::path& log_file, double now_epoch, std::string_view name,
              const common::Json& payload) {
  if (log_file.has_parent_path()) std::filesystem::create_directories(log_file.parent_path());
  common::Json line = common::Json::object();
  line["timestamp"] = iso_time(now_epoch);
  line["tool"] = std::string(name);
  line["payload"] = payload;
  if (!common::append_line(log_file, common::dump_spaced(line))) {
    throw std::runtime_error("cannot append to " + log_file.string());
  }
}

}  // namespace lumenfold::lodestar
