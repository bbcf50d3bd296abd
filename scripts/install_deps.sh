#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need,
# skipping the ones already present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  clang-format clang-tidy
  clang libclang-rt-dev
  nlohmann-json3-dev libsimdjson-dev libpcre2-dev libcpp-httplib-dev libssl-dev libicu-dev libcli11-dev
  libtree-sitter-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  ripgrep
  dpkg-dev curl
)
# The end-to-end tests run the MCP client under node. Node builds from
# other sources (NodeSource) bundle npm and conflict with Debian's npm
# package, so any node and npm already on the PATH will do.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
