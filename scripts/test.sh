#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: the unit
# tests in a normal build and again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install_deps.sh"

"$here/scripts/build.sh" "$here/build" -DLUMENFOLD_BUILD_TESTS=ON -DLUMENFOLD_BUILD_BENCH=ON
(cd "$here/build" && ctest --output-on-failure -j"$(nproc)")

"$here/scripts/build.sh" "$here/build-asan" -DLUMENFOLD_SANITIZE=ON -DLUMENFOLD_BUILD_TESTS=ON -DLUMENFOLD_BUILD_BENCH=OFF
(cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$(nproc)")
