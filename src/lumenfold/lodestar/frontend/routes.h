#pragma once
// The plain HTTP routes served beside the MCP endpoint.

#include <filesystem>

namespace lumenfold::lodestar {

class SerialRoutes;
class ServerState;

// Registers "/prime", "/health", "/log", "/ingest-graph", "/install.sh", "/tslc",
// "/tsl", "/surveyor.py" and "/lodestar.py" (other methods answer 405).
// The distribution files are read from `program_dir`. `state` must outlive
// the server's listening.
void register_routes(SerialRoutes& routes, ServerState& state, const std::filesystem::path& program_dir);

}  // namespace lumenfold::lodestar
