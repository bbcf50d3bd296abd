#!/usr/bin/env bash
# Installs what is missing, builds, scans a project (default: the current
# directory) with progress into its .tessel data directory, and serves it:
# Claude Code (or Codex CLI when only that is installed) starts wired to the
# server; with neither installed, the server stays up and the lines to
# connect an agent by hand are printed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
target="$(cd "${1:-.}" && pwd)"
"$here/scripts/install_deps.sh"
"$here/scripts/build.sh" "$here/build" -DLUMENFOLD_BUILD_TESTS=OFF -DLUMENFOLD_BUILD_BENCH=OFF
"$here/build/bin/surveyor" --root "$target" --out "$target/.tessel/info_graph.json" --progress
launcher=tsl
if ! command -v claude >/dev/null 2>&1 && command -v codex >/dev/null 2>&1; then
  launcher=tslc
fi
exec "$here/build/bin/$launcher" --root "$target"
