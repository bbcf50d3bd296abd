#!/usr/bin/env bash
# Starts an MCP server program on a free loopback port with a fresh data
# directory, waits until it accepts connections, runs a client command
# against it and stops the server again.
#
# usage: run_with_server.sh [--expect FILE] SERVER [SERVER_ARGS...] -- COMMAND [ARGS...]
#
# The server gets PORT (a free port) and TSL_DATA_DIR (an empty directory
# inside a scratch directory) in its environment. A server that settles on
# another port reports it in $TSL_DATA_DIR/mcp_port, as lodestar does.
# In COMMAND's arguments {url} becomes the MCP endpoint's URL, {base} the
# server's base URL, {port} the port and {work} the scratch directory; the
# same are exported as MCP_URL, MCP_BASE_URL, MCP_PORT and E2E_WORK_DIR.
# COMMAND runs in this script's directory, where node finds the npm
# packages. With --expect, COMMAND's standard output must equal FILE.
#
# Exit status: COMMAND's; 1 when the server does not start, does not stop
# with status 0 on SIGTERM, or the output differs from FILE; 77 (a skip for
# CTest) when node or the npm packages of this directory are missing.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
# Generous, for sanitizer builds on a busy machine.
readonly kStartSeconds=60
readonly kStopSeconds=20

expect=""
if [ "${1:-}" = "--expect" ]; then
  expect="$2"
  shift 2
fi
server=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do server+=("$1"); shift; done
if [ $# -eq 0 ] || [ ${#server[@]} -eq 0 ]; then
  echo "usage: $0 [--expect FILE] SERVER [SERVER_ARGS...] -- COMMAND [ARGS...]" >&2
  exit 2
fi
shift

source "$here/../test_support/shell_checks.sh"
require_mcp_client "$here"

work="$(mktemp -d)"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill -KILL "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "run_with_server: $*" >&2
  if [ -s "$work/server.log" ]; then
    echo "--- server output ---" >&2
    cat "$work/server.log" >&2
  fi
  exit 1
}

accepts_connections() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

export TSL_DATA_DIR="$work/data"
mkdir -p "$TSL_DATA_DIR"
PORT="$(free_port)" || fail "no free port"
export PORT
"${server[@]}" >"$work/server.log" 2>&1 &
server_pid=$!

port=""
deadline=$((SECONDS + kStartSeconds))
while true; do
  kill -0 "$server_pid" 2>/dev/null || fail "server exited during start-up"
  candidate="$PORT"
  [ -s "$TSL_DATA_DIR/mcp_port" ] && candidate="$(cat "$TSL_DATA_DIR/mcp_port")"
  if accepts_connections "$candidate"; then
    port="$candidate"
    break
  fi
  [ $SECONDS -ge $deadline ] && fail "server did not accept connections within ${kStartSeconds}s"
  sleep 0.05
done

export MCP_PORT="$port"
export MCP_BASE_URL="http://127.0.0.1:$port"
export MCP_URL="$MCP_BASE_URL/mcp"
export E2E_WORK_DIR="$work"
command=()
for arg in "$@"; do
  arg="${arg//\{url\}/$MCP_URL}"
  arg="${arg//\{base\}/$MCP_BASE_URL}"
  arg="${arg//\{port\}/$MCP_PORT}"
  arg="${arg//\{work\}/$E2E_WORK_DIR}"
  command+=("$arg")
done

(cd "$here" && "${command[@]}") >"$work/client.out"
status=$?
cat "$work/client.out"

kill -TERM "$server_pid"
deadline=$((SECONDS + kStopSeconds))
while kill -0 "$server_pid" 2>/dev/null; do
  [ $SECONDS -ge $deadline ] && fail "server did not stop within ${kStopSeconds}s of SIGTERM"
  sleep 0.05
done
wait "$server_pid"
server_status=$?
server_pid=""
[ $server_status -eq 0 ] || fail "server exited with status $server_status after SIGTERM"

[ $status -eq 0 ] || exit $status
if [ -n "$expect" ] && ! diff -u "$expect" "$work/client.out" >&2; then
  fail "client output differs from $expect"
fi
exit 0
