#!/usr/bin/env bash
# File-localisation benchmark of the built-in retrieval module on real
# issues (the shared locbench data): our command-line ranker and the plain
# BM25 baseline, side by side, on the dev split.
#
# The corpora (Python libraries from Debian packages, ~110 MB) are built
# once into a cache directory outside the repository and reused.
#
# Usage: bench/locbench.sh [BUILD_DIR]     (default: build)
# Environment: LOCBENCH_DIR (default ../shared/locbench beside the repo),
#   LOCBENCH_CORPORA (default /tmp/locbench-corpora), LOCBENCH_DATA (default
#   dev.jsonl in LOCBENCH_DIR), LOCBENCH_JSON_DIR (per-instance results are
#   written there when set), LOCBENCH_ARGS (extra locbench.py arguments).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
bench_dir="${LOCBENCH_DIR:-$(cd "$here/.." && pwd)/shared/locbench}"
corpora="${LOCBENCH_CORPORA:-/tmp/locbench-corpora}"
data="${LOCBENCH_DATA:-$bench_dir/dev.jsonl}"
ranker="$build/bin/tsl-rank"
extra=(${LOCBENCH_ARGS:-})

[ -f "$bench_dir/locbench.py" ] || { echo "locbench not found in $bench_dir" >&2; exit 1; }
if [ ! -f "$corpora/VERSIONS.txt" ]; then
  echo "preparing corpora in $corpora (once)" >&2
  bash "$bench_dir/prepare_corpora.sh" "$corpora"
fi
if [ ! -x "$ranker" ]; then
  cmake -S "$here" -B "$build" -DLUMENFOLD_BUILD_TESTS=OFF -DLUMENFOLD_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" --target tsl-rank -j2
fi

json_args() {
  if [ -n "${LOCBENCH_JSON_DIR:-}" ]; then
    mkdir -p "$LOCBENCH_JSON_DIR"
    echo "--json $LOCBENCH_JSON_DIR/$1.json"
  fi
}

# Sequential on purpose: the machine is shared, and timings stay honest.
echo "=== plain BM25 baseline ==="
python3 "$bench_dir/locbench.py" --data "$data" --corpora "$corpora" --ranker bm25 $(json_args bm25) "${extra[@]}"
echo
echo "=== tsl-rank ==="
python3 "$bench_dir/locbench.py" --data "$data" --corpora "$corpora" \
  --ranker "$ranker --root {corpus}" $(json_args tsl) "${extra[@]}"
