#!/usr/bin/env bash
# Runs clang-tidy with .clang-tidy's checks over the sources, or over the
# files named: scripts/tidy.sh [BUILD_DIR] [FILE...]. BUILD_DIR (default
# build) must hold compile_commands.json, which the build writes.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
shift || true
cd "$here"
if [ $# -eq 0 ]; then
  mapfile -t files < <(find src -name '*.cpp' | sort)
else
  files=("$@")
fi
printf '%s\n' "${files[@]}" | xargs -P"$(nproc)" -n4 clang-tidy -p "$build" --quiet
