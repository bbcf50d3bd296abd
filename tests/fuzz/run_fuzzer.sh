#!/usr/bin/env bash
# Runs one fuzz target on a fresh copy of its seeds:
#   run_fuzzer.sh FUZZER SEED_DIR WORK_DIR [libFuzzer options...]
# New inputs and any crash go to WORK_DIR, never to SEED_DIR.
set -euo pipefail
fuzzer="$1" seeds="$2" work="$3"
shift 3
# The state-file targets write and sync a file per input: in memory the sync
# is free, on a disk it bounds the run to a few inputs a second.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
rm -rf "$work"
mkdir -p "$work/corpus"
cp "$seeds"/* "$work/corpus/"
exec "$fuzzer" "$@" "$work/corpus"
