#include "lumenfold/lodestar/frontend/distribution_files.h"

#include "lumenfold/common/file_io.h"
#include "lumenfold/lodestar/server/loopback_origin.h"

namespace lumenfold::lodestar {

RouteAnswer serve_distribution_file(const std::filesystem::path& program_dir, std::string_view name) {
  std::optional<std::string> bytes = common::read_file(program_dir / name);
  if (!bytes) return {404, "text/plain", "not found: " + std::string(name) + " is not installed beside the server\n"};
  return {200, "application/octet-stream", std::move(*bytes)};
}

namespace {

bool is_in(char c, std::string_view allowed) { return allowed.find(c) != std::string_view::npos; }

bool all_of(std::string_view text, std::string_view allowed) {
  for (char c : text) {
    bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum && !is_in(c, allowed)) return false;
  }
  return true;
}

bool is_port_text(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  int port = std::stoi(std::string(text));
  return port > 0 && port <= 65535;
}

}  // namespace

std::optional<std::string> download_base(std::optional<std::string_view> host_header, int server_port) {
  if (!host_header) return "http://127.0.0.1:" + std::to_string(server_port);
  std::optional<Authority> parts = split_authority(*host_header);
  if (!parts || (parts->port && !is_port_text(*parts->port))) return std::nullopt;
  const std::string_view host = parts->host;
  if (host.starts_with('[')) {
    if (host.size() == 2 || !all_of(host.substr(1, host.size() - 2), ":.")) return std::nullopt;
  } else if (host.empty() || !all_of(host, ".-")) {
    return std::nullopt;
  }
  const std::string_view port = parts->port.value_or("");
  return "http://" + std::string(host) + ":" + (port.empty() ? std::to_string(server_port) : std::string(port));
}

std::string install_script(std::string_view base_url) {
  std::string base(base_url);
  while (!base.empty() && base.back() == '/') base.pop_back();
  return R"SCRIPT(#!/usr/bin/env bash
# Installs Tessel for this user into $HOME/.tessel.
set -euo pipefail
BASE=")SCRIPT" +
         base + R"SCRIPT("
DEST="$HOME/.tessel"
mkdir -p "$DEST"
curl -fsSL "$BASE/surveyor.py" -o "$DEST/surveyor"
curl -fsSL "$BASE/lodestar.py" -o "$DEST/lodestar"
curl -fsSL "$BASE/tsl" -o "$DEST/tsl" || echo "no tsl launcher on the server"
curl -fsSL "$BASE/tslc" -o "$DEST/tslc" || echo "no tslc launcher on the server"
chmod +x "$DEST"/surveyor "$DEST"/lodestar
[ -f "$DEST/tsl" ] && chmod +x "$DEST/tsl"
[ -f "$DEST/tslc" ] && chmod +x "$DEST/tslc"

# Runtime libraries of the two programs (Debian and Ubuntu).
if command -v apt-get >/dev/null 2>&1; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get install -y -qq libpcre2-8-0 libicu72 libcpp-httplib0.11 libsimdjson14 libssl3 ripgrep ||
    echo "Install the runtime libraries (pcre2, icu, cpp-httplib, simdjson, openssl) and ripgrep by hand."
fi

RC="$HOME/.bashrc"
[ -n "${ZSH_VERSION:-}" ] && RC="$HOME/.zshrc"
if ! grep -q "$DEST" "$RC" 2>/dev/null; then
  echo "export PATH=\"$DEST:\$PATH\"" >> "$RC"
fi

cat <<'TEXT'
Installed into ~/.tessel.

Start a server for a project, from the project's directory:
  TESSEL_PROJECT_ROOT="$PWD" TSL_DATA_DIR="$PWD/.tessel" lodestar

Register it with your agent (the port is in .tessel/mcp_port):
  Claude Code:  claude mcp add --transport http tessel http://127.0.0.1:8080/mcp
  Codex CLI:    in ~/.codex/config.toml
                  [mcp_servers.tessel]
                  url = "http://127.0.0.1:8080/mcp"
TEXT
)SCRIPT";
}

}  // namespace lumenfold::lodestar
