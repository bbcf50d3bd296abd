#pragma once
// tsl --status and tsl --stop: what runs for a project, and stopping its
// server by hand. Neither starts anything.

#include <filesystem>

namespace lumenfold::launcher {

// Prints the project root, its server (pid, port, version) or that none
// runs, the graph's age and counts, the number of memories and of running
// launchers. Returns 0.
int print_status(const std::filesystem::path& root);

// Stops the server of `root`: the one answering on its port, else the one
// holding the data directory's server lock (a server that does not answer).
// Says what it did. Returns 1 when a server did not stop, else 0.
int stop_project_server(const std::filesystem::path& root);

}  // namespace lumenfold::launcher
