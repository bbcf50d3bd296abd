#!/usr/bin/env bash
# The launchers end to end: real lodestar and surveyor, fake agents (node
# scripts named claude and codex that talk to the server with the official
# MCP client and run the hooks they were given).
#
# usage: launcher_test.sh TSL PROGRAM_DIR
#   TSL is the launcher (tslc beside it); PROGRAM_DIR holds lodestar and
#   surveyor, put on PATH.
# Exit status 0 when every check passed, 1 otherwise, 77 (a skip for CTest)
# when node or the npm packages of tests/e2e are missing.
set -uo pipefail

tsl="$(realpath "$1")"
program_dir="$(realpath "$2")"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../test_support/shell_checks.sh"
require_mcp_client "$(cd "$here/../e2e" && pwd)"
modules="$here/../e2e/node_modules"

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  # Servers the launchers started run in sessions of their own; one still
  # holds its lock.
  for lock in "$work"/*/.tessel/lodestar.lock; do
    [ -s "$lock" ] && ! flock -n "$lock" true && kill -KILL "$(cut -d' ' -f1 "$lock")" 2>/dev/null
  done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT


fakes="$work/fakes"
mkdir -p "$fakes"
ln -s "$here/fake_agent.mjs" "$fakes/claude"
ln -s "$here/fake_agent.mjs" "$fakes/codex"
base_path="$(dirname "$tsl"):$program_dir:$(dirname "$(command -v node)"):/usr/bin:/bin"
export TESSEL_E2E_MODULES="$modules"
# Each case gets its own 20 ports, so that the cases, and other tests
# running beside this one, do not meet.
port_base=$((20000 + (RANDOM % 1000) * 40))
next_port=$port_base
take_ports() { PORT=$next_port; next_port=$((next_port + 20)); export PORT; }

# project NAME: a fresh git project with one source file; prints its root.
project() {
  mkdir -p "$work/$1/.git"
  printf 'def find_user(name):\n    return name\n' >"$work/$1/app.py"
  echo "$work/$1"
}

# field FILE LINE EXPRESSION: EXPRESSION (JavaScript, over `r`) of the JSON
# record on line LINE (1-based) of FILE.
field() {
  node -e 'const lines = require("fs").readFileSync(process.argv[1], "utf8").trim().split("\n");
           const r = JSON.parse(lines[process.argv[2] - 1]);
           console.log(eval(process.argv[3]))' "$1" "$2" "$3"
}

# health_status PORT: the HTTP status of GET /health, or "none".
health_status() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null || { echo none; return; }
  exec 3<>"/dev/tcp/127.0.0.1/$1"
  printf 'GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' >&3
  local line
  IFS= read -r line <&3
  exec 3<&-
  echo "$line" | cut -d' ' -f2
}

port_of_url() { echo "$1" | sed -E 's|^http://127\.0\.0\.1:([0-9]+)/mcp$|\1|'; }

# wait_for_lines FILE N: waits (up to 60 s) until FILE has N lines.
wait_for_lines() {
  local deadline=$((SECONDS + 60))
  while [ "$(cat "$1" 2>/dev/null | wc -l)" -lt "$2" ] && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
}

# wait_gone PID: waits (up to 30 s) for a process that is not our child.
wait_gone() {
  local deadline=$((SECONDS + 30))
  while kill -0 "$1" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
  kill -0 "$1" 2>/dev/null && echo running || echo gone
}

# start_by_hand ROOT: starts lodestar for ROOT as a user would, and waits
# until it answers; sets $hand_pid.
start_by_hand() {
  mkdir -p "$1/.tessel"
  TESSEL_PROJECT_ROOT="$1" TSL_DATA_DIR="$1/.tessel" "$program_dir/lodestar" >/dev/null 2>&1 &
  hand_pid=$!
  pids+=("$hand_pid")
  local deadline=$((SECONDS + 60))
  until [ -s "$1/.tessel/mcp_port" ] && [ "$(health_status "$(cat "$1/.tessel/mcp_port")")" = 200 ]; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.05
  done
}

# --- A fresh project: scan, start, wire the agent, hooks, stop.
root="$(project fresh)"
take_ports
record="$work/fresh.jsonl"
(cd "$root" && PATH="$fakes:$base_path" FAKE_AGENT_RECORD="$record" FAKE_AGENT_EXIT=3 "$tsl" -p "say hi" \
  >"$work/fresh.out" 2>"$work/fresh.err")
check "fresh: the launcher exits with the agent's status" 3 "$?"
check "fresh: the scan ran before the agent" yes "$(grep -q "scanning $root" "$work/fresh.err" && [ -s "$root/.tessel/info_graph.json" ] && echo yes)"
check "fresh: the agent reached the server" "no error 10 false" "$(field "$record" 1 '[r.error ?? "no error", r.tools, r.continue_is_error].join(" ")')"
check "fresh: the user's arguments come last, untouched" '-p|say hi' "$(field "$record" 1 'r.args.slice(-2).join("|")')"
check "fresh: the server runs on the ports asked for" yes "$(p=$(port_of_url "$(field "$record" 1 r.url)"); [ "$p" -ge "$PORT" ] && [ "$p" -lt $((PORT + 20)) ] && echo yes)"
check "fresh: the conversation is primed at every start" "startup resume clear compact" "$(field "$record" 1 'r.session_start_matchers.join(" ")')"
check "fresh: the priming hook prints the server's priming text" true "$(field "$record" 1 'r.prime.length > 0 && r.prime_hook_output.trim() === r.prime.trim()')"
check "fresh: the stop hook says nothing" "" "$(field "$record" 1 'r.stop_hook_output')"
check "fresh: the turn's usage reached the token log" "11 22 33 44 claude-fake-1 fresh claude code turn" \
  "$(node -e 'const r = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8").trim());
     console.log([r.input_tokens, r.output_tokens, r.cache_creation_input_tokens, r.cache_read_input_tokens,
                  r.model, r.project, r.description].join(" "))' "$root/.tessel/token_log.jsonl")"
check "fresh: the server stops with the last launcher" none "$(health_status "$(port_of_url "$(field "$record" 1 r.url)")")"
check "fresh: no lease is left" 0 "$(ls "$root/.tessel/leases" | wc -l)"

# --- Two launchers in one project share one server; the last one out stops it.
root="$(project shared)"
take_ports
record="$work/shared.jsonl"
(cd "$root" && PATH="$fakes:$base_path" FAKE_AGENT_RECORD="$record" FAKE_AGENT_WAIT_FOR="$work/release_a" "$tsl" \
  >"$work/a.out" 2>&1) &
first=$!
wait_for_lines "$record" 1
(cd "$root" && PATH="$fakes:$base_path" FAKE_AGENT_RECORD="$record" FAKE_AGENT_WAIT_FOR="$work/release_b" "$tsl" \
  >"$work/b.out" 2>&1) &
second=$!
wait_for_lines "$record" 2
url="$(field "$record" 1 r.url)"
check "shared: the second launcher reuses the first one's server" "$url" "$(field "$record" 2 r.url)"
check "shared: --status counts both launchers" "launchers: 2" "$(cd "$root" && PATH="$base_path" "$tsl" --status | grep launchers)"
touch "$work/release_a"
wait "$first"
check "shared: the server outlives the first launcher" 200 "$(health_status "$(port_of_url "$url")")"
touch "$work/release_b"
wait "$second"
check "shared: and stops with the last" none "$(health_status "$(port_of_url "$url")")"

# --- --stop while the launcher that started the server (its parent) still
# runs its agent: the server is stopped at once, though not yet reaped.
root="$(project stop_early)"
take_ports
record="$work/stop_early.jsonl"
(cd "$root" && PATH="$fakes:$base_path" FAKE_AGENT_RECORD="$record" FAKE_AGENT_WAIT_FOR="$work/release_c" "$tsl" \
  >/dev/null 2>&1) &
holder=$!
wait_for_lines "$record" 1
started=$SECONDS
check "stop early: --stop stops the server" "stopped lodestar" "$(cd "$root" && PATH="$base_path" "$tsl" --stop | cut -d' ' -f1-2)"
check "stop early: without waiting it out" yes "$([ $((SECONDS - started)) -lt 3 ] && echo yes)"
touch "$work/release_c"
wait "$holder"
check "stop early: the launcher still ends cleanly" 0 "$?"

# --- In a subdirectory of a git project, the project is the git root.
root="$(project nested)"
mkdir -p "$root/src/deep"
take_ports
record="$work/nested.jsonl"
(cd "$root/src/deep" && PATH="$fakes:$base_path" FAKE_AGENT_RECORD="$record" "$tsl" >/dev/null 2>&1)
check "nested: the data directory is the git root's" "yes no" \
  "$([ -s "$root/.tessel/info_graph.json" ] && echo yes) $([ -e "$root/src/deep/.tessel" ] && echo yes || echo no)"
check "nested: the graph's root is the project's" "$root" "$(node -e 'console.log(JSON.parse(require("fs").readFileSync(process.argv[1])).root ?? "")' "$root/.tessel/info_graph.json")"
check "nested: the agent reached the server" 10 "$(field "$record" 1 r.tools)"

# --- tslc starts Codex CLI with the server as a -c setting.
root="$(project codex)"
take_ports
record="$work/codex.jsonl"
(cd "$root" && PATH="$fakes:$base_path" FAKE_AGENT_RECORD="$record" "$(dirname "$tsl")/tslc" --model x >/dev/null 2>&1)
check "tslc: codex gets the server as -c and the user's arguments" \
  "-c|mcp_servers.tessel.url=\"$(field "$record" 1 r.url)\"|--model|x" "$(field "$record" 1 'r.args.join("|")')"
check "tslc: codex reached the server" "codex 10" "$(field "$record" 1 '[r.agent, r.tools].join(" ")')"

# --- No agent on PATH: how to connect by hand, serving until Ctrl-C.
root="$(project manual)"
take_ports
(cd "$root" && PATH="$base_path" "$tsl" >"$work/manual.out" 2>&1) &
manual=$!
deadline=$((SECONDS + 60))
until grep -qs "Ctrl-C" "$work/manual.out" || [ $SECONDS -ge $deadline ]; do sleep 0.05; done
port="$(cat "$root/.tessel/mcp_port")"
check "manual: the Claude Code line names the real port" "  claude mcp add --transport http tessel http://127.0.0.1:$port/mcp" "$(grep "claude mcp add" "$work/manual.out")"
check "manual: the Codex CLI line names the real port" "  codex -c 'mcp_servers.tessel.url=\"http://127.0.0.1:$port/mcp\"'" "$(grep "codex -c" "$work/manual.out")"
check "manual: the server keeps serving" 200 "$(health_status "$port")"
# The launcher runs in a subshell: signal the launcher itself.
kill -INT "$(pgrep -P "$manual" -x tsl || echo "$manual")"
wait "$manual"
check "manual: Ctrl-C stops the launcher and the server" "0 none" "$? $(health_status "$port")"

# --- A server that cannot start: every port of its range is taken.
root="$(project full)"
take_ports
node -e 'const net = require("net"); let open = 0;
         for (let p = +process.argv[1]; p < +process.argv[1] + 20; p++)
           net.createServer().listen(p, "127.0.0.1", () => { if (++open === 20) console.log("ready"); });' \
  "$PORT" >"$work/blocker.out" &
blocker=$!
pids+=("$blocker")
wait_for_lines "$work/blocker.out" 1
started=$SECONDS
(cd "$root" && PATH="$fakes:$base_path" FAKE_AGENT_RECORD="$work/full.jsonl" "$tsl" >/dev/null 2>"$work/full.err")
check "full: the launcher fails" 1 "$?"
check "full: quickly" yes "$([ $((SECONDS - started)) -lt 8 ] && echo yes)"
check "full: saying why, with the server's log" yes \
  "$(grep -q "lodestar exited before it answered" "$work/full.err" && grep -q "no free port in $PORT-$((PORT + 19))" "$work/full.err" && echo yes)"
check "full: the agent did not start" no "$([ -e "$work/full.jsonl" ] && echo yes || echo no)"
kill "$blocker"

# --- A port file left by a killed server: the launcher starts a new one.
root="$(project stale)"
take_ports
start_by_hand "$root"
kill -KILL "$hand_pid"
wait "$hand_pid" 2>/dev/null
record="$work/stale.jsonl"
(cd "$root" && PATH="$fakes:$base_path" FAKE_AGENT_RECORD="$record" "$tsl" >/dev/null 2>&1)
check "stale: a fresh server served the agent" "no error 10" "$(field "$record" 1 '[r.error ?? "no error", r.tools].join(" ")')"

# --- A server started by hand is used, and left running; --stop stops it.
root="$(project by_hand)"
take_ports
start_by_hand "$root"
by_hand=$hand_pid
port="$(cat "$root/.tessel/mcp_port")"
record="$work/by_hand.jsonl"
(cd "$root" && PATH="$fakes:$base_path" FAKE_AGENT_RECORD="$record" "$tsl" >/dev/null 2>&1)
check "by hand: the launcher used the running server" "http://127.0.0.1:$port/mcp" "$(field "$record" 1 r.url)"
check "by hand: and left it running" 200 "$(health_status "$port")"
check "by hand: --status shows it" "server:    running, pid $by_hand, port $port, version 0.1.0" \
  "$(cd "$root" && PATH="$base_path" "$tsl" --status | grep server:)"
check "by hand: --stop stops it" "stopped lodestar (pid $by_hand, port $port) for $root" \
  "$(cd "$root" && PATH="$base_path" "$tsl" --stop)"
check "by hand: it is gone" gone "$(wait_gone "$by_hand")"

finish_checks
