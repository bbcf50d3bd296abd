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

namespace {

// The Debian packages the programs need at run time, from the build (the
// same list the Debian package's dependencies are checked against).
constexpr char kRuntimePackages[] = LUMENFOLD_RUNTIME_PACKAGES;

constexpr char kScriptHead[] =
    "#!/usr/bin/env bash\n# Installs Tessel for this user into $HOME/.tessel/bin.\nset -euo pipefail\n";

// Refuses to run without curl, downloads the programs into $HOME/.tessel/bin
// (not $HOME/.tessel, which is the data directory of a project in $HOME)
// through a temporary name, so that a program running from there is
// replaced rather than overwritten.
constexpr char kDownloadPart[] = R"SCRIPT(DEST="$HOME/.tessel/bin"

if ! command -v curl >/dev/null 2>&1; then
  echo "tessel install: curl is missing; install it (sudo apt-get install -y curl) and run this again." >&2
  exit 1
fi

mkdir -p "$DEST"
fetch() {  # fetch ROUTE NAME: downloads $BASE/ROUTE into $DEST/NAME, executable
  local part="$DEST/.$2.download"
  if curl -fsSL "$BASE$1" -o "$part" && chmod +x "$part" && mv -f "$part" "$DEST/$2"; then
    return 0
  fi
  rm -f "$part"
  return 1
}
fetch /surveyor.py surveyor || { echo "tessel install: cannot download surveyor from $BASE" >&2; exit 1; }
fetch /lodestar.py lodestar || { echo "tessel install: cannot download lodestar from $BASE" >&2; exit 1; }
launchers=no
if fetch /tsl tsl 2>/dev/null; then
  launchers=yes
  # tslc is the same program as tsl, started under another name.
  fetch /tslc tslc 2>/dev/null || ln -sf tsl "$DEST/tslc"
else
  echo "The server has no tsl launcher; installed surveyor and lodestar only."
fi
)SCRIPT";

// Installs the runtime packages when this user may (root, or sudo without
// a password); otherwise says the exact command.
constexpr char kPackagePart[] = R"SCRIPT(
APT_LINE="apt-get install -y $PACKAGES"
if [ "${TESSEL_INSTALL_SKIP_APT:-0}" = 1 ]; then
  echo "Skipped installing the runtime packages: $PACKAGES"
elif ! command -v apt-get >/dev/null 2>&1; then
  echo "No apt-get here: install the equivalents of these Debian packages by hand: $PACKAGES"
elif [ "$(id -u)" -eq 0 ]; then
  DEBIAN_FRONTEND=noninteractive $APT_LINE -qq || echo "apt-get failed; run: apt-get update && $APT_LINE"
elif sudo -n true 2>/dev/null; then
  sudo -n env DEBIAN_FRONTEND=noninteractive $APT_LINE -qq || echo "apt-get failed; run: sudo apt-get update && sudo $APT_LINE"
else
  echo "Install the runtime packages with:"
  echo "  sudo $APT_LINE"
fi
)SCRIPT";

// Puts $DEST on the PATH of new shells, once: a second run finds its line.
constexpr char kPathPart[] = R"SCRIPT(
case "$(basename "${SHELL:-bash}")" in
  zsh) RC="$HOME/.zshrc" ;;
  *) RC="$HOME/.bashrc" ;;
esac
PATH_LINE='export PATH="$HOME/.tessel/bin:$PATH"'
if ! grep -qxF "$PATH_LINE" "$RC" 2>/dev/null; then
  printf '%s\n' "$PATH_LINE" >>"$RC"
  echo "Added ~/.tessel/bin to the PATH in $RC."
fi
)SCRIPT";

constexpr char kUsagePart[] = R"SCRIPT(
echo "Installed into ~/.tessel/bin. Open a new shell (or run: $PATH_LINE), then:"
if [ "$launchers" = yes ]; then
  cat <<'TEXT'
  cd your/project && tsl     Claude Code with Tessel (starts the project's server)
  cd your/project && tslc    Codex CLI with Tessel
  tsl --status               the project's server: running, port, version
  tsl --stop                 stops the project's server
TEXT
else
  cat <<'TEXT'
  cd your/project && TESSEL_PROJECT_ROOT="$PWD" TSL_DATA_DIR="$PWD/.tessel" lodestar
and register it with your agent (the port is in .tessel/mcp_port):
  Claude Code:  claude mcp add --transport http tessel http://127.0.0.1:8080/mcp
  Codex CLI:    in ~/.codex/config.toml
                  [mcp_servers.tessel]
                  url = "http://127.0.0.1:8080/mcp"
TEXT
fi
)SCRIPT";

}  // namespace

std::string install_script(std::string_view base_url) {
  std::string base(base_url);
  while (!base.empty() && base.back() == '/') base.pop_back();
  std::string script = kScriptHead;
  script += "BASE=\"" + base + "\"\nPACKAGES=\"" + kRuntimePackages + "\"\n";
  for (const char* part : {kDownloadPart, kPackagePart, kPathPart, kUsagePart}) script += part;
  return script;
}

std::string_view runtime_packages() { return kRuntimePackages; }

}  // namespace lumenfold::lodestar
