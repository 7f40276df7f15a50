#!/usr/bin/env bash
# The checks too long for the README's test command: clang-tidy over every file of src/, then
# each fuzz target for FUZZ_SECONDS (default 300). Run after `cmake --build BUILD_DIR`.
# Usage: [FUZZ_SECONDS=N] tools/long-checks.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
generator="$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$build/CMakeCache.txt")"
status=0
# Both run even when the first fails, so one run reports every fault.
"$root/tools/tidy.sh" "$build" || status=1
cmake -DBUILD_DIR="$build/fuzz" -DGENERATOR="${generator:-Ninja}" -DSECONDS="${FUZZ_SECONDS:-300}" \
    -P "$root/fuzz/run.cmake" || status=1
exit "$status"
