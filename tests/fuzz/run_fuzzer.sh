#!/usr/bin/env bash
# Runs one fuzz target on a fresh copy of its seeds:
#   run_fuzzer.sh FUZZER SEED_DIR WORK_DIR [libFuzzer options...]
# New inputs and any crash go to WORK_DIR, never to SEED_DIR.
set -euo pipefail
fuzzer="$1" seeds="$2" work="$3"
shift 3
rm -rf "$work"
mkdir -p "$work/corpus"
cp "$seeds"/* "$work/corpus/"
exec "$fuzzer" "$@" "$work/corpus"
