#pragma once
// The routes that hand out the product's own files: the two programs, the
// two launchers and an install script.

#include <filesystem>
#include <string>
#include <string_view>

#include "lumenfold/lodestar/frontend/token_log.h"

namespace lumenfold::lodestar {

// The file `name` from `program_dir` (the directory of the running
// server), byte for byte as application/octet-stream; 404 with a short
// text when it is missing or unreadable.
RouteAnswer serve_distribution_file(const std::filesystem::path& program_dir, std::string_view name);

// A bash script that installs the four files from `base_url` (trailing
// "/" removed) into $HOME/.tessel and tells how to register the server.
std::string install_script(std::string_view base_url);

}  // namespace lumenfold::lodestar
