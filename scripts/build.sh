#!/usr/bin/env bash
# Configures and builds one build directory: scripts/build.sh DIR [cmake options...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"
shift

# The scanner compiles in tree-sitter grammars, installed exactly as the
# committed lock file pins them. npm records each install in
# node_modules/.package-lock.json, so a lock file newer than that record
# means the packages are stale. Only their C sources are used: the packages'
# install scripts (Node bindings) are not run.
grammars="$here/third_party/tree-sitter-grammars"
if [ ! -f "$grammars/node_modules/.package-lock.json" ] ||
   [ "$grammars/package-lock.json" -nt "$grammars/node_modules/.package-lock.json" ]; then
  npm ci --prefix "$grammars" --no-audit --no-fund --ignore-scripts
fi

cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
