#!/usr/bin/env bash
# Fails, naming the files, when a C++ source is not formatted as
# .clang-format says. `scripts/check_format.sh --fix` formats them instead.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
mapfile -t files < <(find src tests bench -path tests/e2e/node_modules -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sort)
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
clang-format --dry-run -Werror "${files[@]}" ||
  { echo "not formatted: scripts/check_format.sh --fix formats the files named above" >&2; exit 1; }
