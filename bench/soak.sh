#!/usr/bin/env bash
# Kill -9 soak of lodestar: client threads send a seeded mix of the agent's
# tools while the server is killed and restarted every few hundred calls;
# the run fails on a lost memory or edit, an unparsable state file, a
# server that does not restart or stop cleanly, or resident memory growth.
# Prints the seed; pass --seed N to replay its calls and kill intervals.
#
# usage: bench/soak.sh LODESTAR_BINARY [--clients N] [--calls N] [--files N]
#            [--seed N] [--kill-min N] [--kill-max N] [--rss-growth-mib N]
#            [--max-minutes N] [--keep]
#
# The soak program is taken from the build directory that holds
# LODESTAR_BINARY (BUILD/bin/lodestar -> BUILD/bench/soak) and built there when missing (the build must be
# configured with -DLUMENFOLD_BUILD_BENCH=ON); SOAK_BIN overrides it.
set -euo pipefail

if [ $# -lt 1 ] || [ ! -x "$1" ]; then
  echo "usage: $0 LODESTAR_BINARY [soak flags...]" >&2
  exit 2
fi
lodestar="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
shift
build="$(cd "$(dirname "$lodestar")/.." && pwd)"
soak="${SOAK_BIN:-$build/bench/soak}"
if [ ! -x "$soak" ]; then
  cmake --build "$build" --target soak -j2 >&2
fi
exec "$soak" "$lodestar" "$@"
