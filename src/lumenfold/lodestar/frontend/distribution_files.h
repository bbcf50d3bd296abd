#pragma once
// The routes that hand out the product's own files: the two programs, the
// two launchers and an install script.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "lumenfold/lodestar/frontend/token_log.h"

namespace lumenfold::lodestar {

// The file `name` from `program_dir` (the directory of the running
// server), byte for byte as application/octet-stream; 404 with a short
// text when it is missing or unreadable.
RouteAnswer serve_distribution_file(const std::filesystem::path& program_dir, std::string_view name);

// The address the install script downloads from: "http://" + the host and
// port a client reached us by (its Host header; `server_port` when the
// header names no port; 127.0.0.1 when there is no header). nullopt when
// the header is not a plain host name, IPv4 address or bracketed IPv6
// address with an optional decimal port: its text is pasted into a shell
// script, so nothing else may pass.
std::optional<std::string> download_base(std::optional<std::string_view> host_header, int server_port);

// A bash script that downloads the programs from `base_url` (trailing "/"
// removed) into $HOME/.tessel/bin, installs runtime_packages() with
// apt-get when it may (not when TESSEL_INSTALL_SKIP_APT=1), puts the
// directory on the PATH in the shell's start-up file once, and tells how to
// start the launchers. It refuses to run without curl.
std::string install_script(std::string_view base_url);

// The Debian packages the programs need at run time, space-separated: the
// shared libraries they link and the tools they run.
std::string_view runtime_packages();

}  // namespace lumenfold::lodestar
