#!/usr/bin/env bash
# Installs what is missing, builds, and scans a project (default: the
# current directory) into its .tessel data directory.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
target="$(cd "${1:-.}" && pwd)"
"$here/scripts/install_deps.sh"
"$here/scripts/build.sh" "$here/build" -DLUMENFOLD_BUILD_TESTS=OFF -DLUMENFOLD_BUILD_BENCH=OFF
"$here/build/bin/surveyor" --root "$target" --out "$target/.tessel/info_graph.json"
