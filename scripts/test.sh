#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: the unit
# tests in a normal build and again under AddressSanitizer and
# UndefinedBehaviorSanitizer, with the fuzz targets.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install_deps.sh"

# The end-to-end tests drive the servers with the MCP TypeScript SDK client,
# installed exactly as the committed lock file pins it. npm records each
# install in node_modules/.package-lock.json, so a lock file newer than
# that record means the packages are stale.
e2e="$here/tests/e2e"
if [ ! -f "$e2e/node_modules/.package-lock.json" ] ||
   [ "$e2e/package-lock.json" -nt "$e2e/node_modules/.package-lock.json" ]; then
  npm ci --prefix "$e2e" --no-audit --no-fund
fi

# A source clang-format would change fails the run before anything builds.
"$here/scripts/check_format.sh"

# Release (no debug info) and an unoptimised sanitizer build compile
# fastest; -U resets a test-directory list narrowed in an old build tree.
"$here/scripts/build.sh" "$here/build" -ULUMENFOLD_TEST_DIRS -DCMAKE_BUILD_TYPE=Release \
  -DLUMENFOLD_BUILD_TESTS=ON -DLUMENFOLD_BUILD_BENCH=ON
(cd "$here/build" && ctest --output-on-failure -j"$(nproc)")

# The sanitizer tree is clang's, so that it can also build the fuzz targets,
# which CTest runs briefly from their seeds. A tree another compiler
# configured is started afresh: CMake cannot switch compilers in place.
asan="$here/build-asan"
if [ -f "$asan/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$asan/CMakeCache.txt"; then
  rm -rf "$asan"
fi
"$here/scripts/build.sh" "$asan" -ULUMENFOLD_TEST_DIRS -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DLUMENFOLD_SANITIZE=ON -DLUMENFOLD_FUZZ=ON -DLUMENFOLD_BUILD_TESTS=ON -DLUMENFOLD_BUILD_BENCH=OFF
(cd "$asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$(nproc)")
