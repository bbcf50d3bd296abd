#!/usr/bin/env bash
# Server work per tool, in instructions, of two lodestar binaries driven
# through the same requests by mcp_latency_bench under callgrind. Wall-clock
# latency on a shared machine moves by ±20 % from run to run; instruction
# counts repeat to a fraction of a percent, so this tells whether a change
# made the tools slower when the machine is not quiet.
#
# Usage: bench/mcp_instructions.sh MCP_LATENCY_BENCH NEW_LODESTAR REF_LODESTAR [FILES] [REQUESTS]
#   (defaults: 1000 files, 100 requests per kind; about a minute per binary)
set -euo pipefail
bench="$1" new="$2" ref="$3" files="${4:-1000}" requests="${5:-100}"
command -v valgrind >/dev/null && command -v callgrind_annotate >/dev/null || {
  echo "needs valgrind (apt-get install valgrind)" >&2
  exit 1
}
work="$(mktemp -d "${TMPDIR:-/tmp}/tessel-mcp-instr-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Inclusive instructions of the request handler and of each tool, one
# "name count" line each.
measure() {
  local name="$1" binary="$2"
  printf '#!/bin/sh\nexec valgrind --tool=callgrind --callgrind-out-file=%s/%s.out %s\n' "$work" "$name" "$binary" \
    >"$work/$name.sh"
  chmod +x "$work/$name.sh"
  "$bench" "$work/$name.sh" "$files" "$requests" >"$work/$name.log" 2>&1 || {
    cat "$work/$name.log" >&2
    exit 1
  }
  callgrind_annotate --inclusive=yes "$work/$name.out" 2>/dev/null |
    sed -nE 's/^ *([0-9,]+) .*lumenfold::lodestar::(McpServer::handle_post|graph_[a-z_]+)(\[abi:cxx11\])?\(.*/\2 \1/p' |
    tr -d ',' | sort -u -k1,1
}

measure new "$new" >"$work/new.txt"
measure ref "$ref" >"$work/ref.txt"
echo "instructions per run ($files files, $requests requests of each kind), new / reference"
join "$work/new.txt" "$work/ref.txt" |
  awk '{ printf "%-24s %15.0f %15.0f %7.3f\n", $1, $2, $3, ($3 > 0 ? $2 / $3 : 0) }'
