# Helpers of the bash tests: named checks that count their failures, the
# skip of a test that needs the MCP client, and starting lodestar. Sourced,
# never run.

failures=0
check() {  # check DESCRIPTION EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    echo "ok: $1"
  else
    echo "FAILED: $1: expected [$2], got [$3]"
    failures=$((failures + 1))
  fi
}

# Ends the test: status 1 when a check failed.
finish_checks() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}

# require_mcp_client DIR: exits 77 (a skip for CTest) when node, or the npm
# packages of DIR (the MCP client), are missing.
require_mcp_client() {
  if ! command -v node >/dev/null 2>&1; then
    echo "skipped: node is not installed" >&2
    exit 77
  fi
  if [ ! -d "$1/node_modules/@modelcontextprotocol/sdk" ]; then
    echo "skipped: run 'npm ci --prefix $1' to install the MCP client" >&2
    exit 77
  fi
}

# A free port: bind one with bash is not possible, so ask the kernel's
# ephemeral range and step past ports that answer.
free_port() {
  local port=$((20000 + RANDOM % 20000))
  while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
  echo "$port"
}

# wait_ready DATA_DIR: waits until the server in DATA_DIR answers; prints its port.
wait_ready() {
  local deadline=$((SECONDS + 60))
  while [ $SECONDS -lt $deadline ]; do
    if [ -s "$1/mcp_port" ] && [ -s "$1/lodestar.lock" ]; then
      local port
      port="$(cat "$1/mcp_port")"
      if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        echo "$port"
        return 0
      fi
    fi
    sleep 0.05
  done
  return 1
}
