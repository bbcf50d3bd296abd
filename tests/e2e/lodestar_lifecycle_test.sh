#!/usr/bin/env bash
# The server as a process: who it lets in, one server per data directory,
# the port it comes back on after a crash, and how fast SIGTERM stops it.
#
# usage: lodestar_lifecycle_test.sh LODESTAR
#
# Talks raw HTTP over bash's /dev/tcp, so it needs nothing installed.
set -uo pipefail

lodestar="$1"
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# check, finish_checks, free_port, wait_ready
source "$(dirname "$0")/../test_support/shell_checks.sh"

# start DATA_DIR [ENV...]: starts a server in the background; sets $pid.
start() {
  local data="$1"
  shift
  mkdir -p "$data"
  env TSL_DATA_DIR="$data" TESSEL_PROJECT_ROOT="$work" "$@" "$lodestar" >>"$data/server.log" 2>&1 &
  pid=$!
  pids+=("$pid")
}

# status_of PORT REQUEST_HEAD: sends a request with no body, prints the
# answer's status code.
status_of() {
  exec 3<>"/dev/tcp/127.0.0.1/$1" || return 1
  printf '%b' "$2" >&3
  local line
  IFS= read -r line <&3
  exec 3<&-
  echo "$line" | cut -d' ' -f2
}

milliseconds() { date +%s%3N; }

data="$work/one"
PORT="$(free_port)" start "$data"
first_pid=$pid
port="$(wait_ready "$data")" || { cat "$data/server.log"; exit 1; }

# The addresses it listens on, from the kernel's tables of sockets in state
# LISTEN (0A), in hex: 0100007F is 127.0.0.1, 0...01000000 is ::1.
listening_on() {
  local hex_port
  hex_port="$(printf '%04X' "$1")"
  cat /proc/net/tcp /proc/net/tcp6 2>/dev/null |
    awk -v p=":$hex_port" '$4 == "0A" && substr($2, length($2) - 4) == p { print substr($2, 1, length($2) - 5) }'
}
addresses="$(listening_on "$port" | sort | tr '\n' ' ')"
check "it listens on 127.0.0.1 (and ::1 where there is IPv6) only" yes \
  "$(case "$addresses" in "00000000000000000000000001000000 0100007F " | "0100007F ") echo yes ;; *) echo "$addresses" ;; esac)"

check "a local request gets in" 200 \
  "$(status_of "$port" "GET /prime HTTP/1.1\r\nHost: 127.0.0.1:$port\r\nConnection: close\r\n\r\n")"
check "a rebound domain is refused" 403 \
  "$(status_of "$port" "GET /prime HTTP/1.1\r\nHost: attacker.example:$port\r\nConnection: close\r\n\r\n")"
check "the install script is not built from a hostile Host" 403 \
  "$(status_of "$port" "GET /install.sh HTTP/1.1\r\nHost: x\"; touch /tmp/p; echo \"\r\nConnection: close\r\n\r\n")"

# A second server on the same data directory stops at once and says why.
start "$data"
second=$pid
wait "$second"
check "a second server on one data directory exits with status 1" 1 "$?"
check "and names the first" "lodestar: another lodestar (pid $first_pid, port $port) is serving $data; stop it first, or use its port" \
  "$(tail -n 1 "$data/server.log")"

# A crashed server's successor comes back on the same port, even with
# connections of the dead one lingering.
for _ in 1 2 3; do status_of "$port" "GET /prime HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n" >/dev/null; done
kill -KILL "$first_pid"
wait "$first_pid" 2>/dev/null
start "$data"
restarted=$pid
check "a restarted server keeps its port" "$port" "$(wait_ready "$data")"

# SIGTERM with an idle keep-alive client: the server stops within a second.
exec 4<>"/dev/tcp/127.0.0.1/$port"
printf 'GET /prime HTTP/1.1\r\nHost: localhost\r\n\r\n' >&4
sleep 0.2
begin=$(milliseconds)
kill -TERM "$restarted"
wait "$restarted"
code=$?
elapsed=$(($(milliseconds) - begin))
exec 4<&-
check "SIGTERM ends the server with status 0" 0 "$code"
check "SIGTERM with an idle client stops the server within a second" yes "$([ "$elapsed" -lt 1000 ] && echo yes || echo "no: ${elapsed} ms")"

# Other interfaces only with a token.
start "$work/open" TSL_HOST=0.0.0.0 PORT="$(free_port)"
wait "$pid"
check "TSL_HOST beyond loopback without a token is refused" 1 "$?"
start "$work/open" TSL_HOST=0.0.0.0 TSL_AUTH_TOKEN=s3cret PORT="$(free_port)"
open_pid=$pid
open_port="$(wait_ready "$work/open")" || { cat "$work/open/server.log"; exit 1; }
check "an opened server refuses another host without the token" 401 \
  "$(status_of "$open_port" "GET /prime HTTP/1.1\r\nHost: build-box:$open_port\r\nConnection: close\r\n\r\n")"
check "and lets it in with the token" 200 \
  "$(status_of "$open_port" "GET /prime HTTP/1.1\r\nHost: build-box:$open_port\r\nAuthorization: Bearer s3cret\r\nConnection: close\r\n\r\n")"
kill -TERM "$open_pid"
wait "$open_pid"

finish_checks
