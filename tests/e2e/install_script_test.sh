#!/usr/bin/env bash
# The served install script, end to end: a server hands out its programs
# and the script, which a user pipes into bash; also the server's /health.
#
# usage: install_script_test.sh LODESTAR VERSION
#
# The server runs from a copy of the build's programs, as installed.
# Needs curl (exit 77 without it).
set -uo pipefail

command -v curl >/dev/null 2>&1 || { echo "curl is missing: skipped"; exit 77; }

built="$(dirname "$1")"
version="$2"
work="$(mktemp -d)"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill -KILL "$server_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# check, finish_checks, free_port, wait_ready
source "$(dirname "$0")/../test_support/shell_checks.sh"

dist="$work/dist"
mkdir -p "$dist" "$work/proj/.tessel" "$work/home"
cp -P "$built/lodestar" "$built/surveyor" "$built/tsl" "$built/tslc" "$dist/"
PORT="$(free_port)" TESSEL_PROJECT_ROOT="$work/proj" TSL_DATA_DIR="$work/proj/.tessel" \
  "$dist/lodestar" >"$work/server.log" 2>&1 &
server_pid=$!
port="$(wait_ready "$work/proj/.tessel")" || { cat "$work/server.log"; exit 1; }
base="http://127.0.0.1:$port"

check "/health names the project, the version and the process" \
  "{\"ok\":true,\"root\":\"$work/proj\",\"version\":\"$version\",\"pid\":$server_pid}" "$(curl -fsS "$base/health")"
check "/health answers JSON" "application/json" \
  "$(curl -fsS -o /dev/null -w '%{content_type}' "$base/health")"
check "/health refuses other methods" 405 "$(curl -s -o /dev/null -w '%{http_code}' -X POST "$base/health")"

home="$work/home"
printf '# the user own line\n' >"$home/.bashrc"
run_install() { curl -fsS "$base/install.sh" | HOME="$home" SHELL=/bin/bash TESSEL_INSTALL_SKIP_APT=1 bash; }
run_install >"$work/first.out" 2>&1
check "the script succeeds" 0 "$?"
for program in surveyor lodestar tsl; do
  check "$program is the server's own, executable" yes \
    "$(cmp -s "$dist/$program" "$home/.tessel/bin/$program" && [ -x "$home/.tessel/bin/$program" ] && echo yes)"
done
check "tslc is the launcher of Codex CLI" yes "$("$home/.tessel/bin/tslc" --help | grep -q '^ *tslc ' && echo yes)"
check "nothing else lands in ~/.tessel" bin "$(ls -A "$home/.tessel")"
check "the start-up file gains one PATH line" \
  "$(printf '# the user own line\nexport PATH="$HOME/.tessel/bin:$PATH"')" "$(cat "$home/.bashrc")"
check "the usage names the launchers" yes \
  "$(grep -q 'cd your/project && tsl ' "$work/first.out" && grep -q 'tsl --stop' "$work/first.out" && echo yes)"

run_install >"$work/second.out" 2>&1
check "a second run succeeds" 0 "$?"
check "and adds no PATH line" 2 "$(wc -l <"$home/.bashrc")"

curl -fsS "$base/install.sh" >"$work/install.sh"
check "without curl the script refuses, creating nothing" "1 no" \
  "$(HOME="$work/bare" PATH=/nonexistent /bin/bash "$work/install.sh" >"$work/bare.out" 2>&1; echo "$? $([ -e "$work/bare" ] && echo yes || echo no)")"
check "and says why" yes "$(grep -q 'curl is missing' "$work/bare.out" && echo yes)"

finish_checks
