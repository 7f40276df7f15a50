#!/usr/bin/env bash
# Fails when a C++ file differs from what clang-format makes of it with the repository's
# .clang-format. Usage: tools/check-format.sh
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
    echo "SKIP: clang-format is not installed"
    exit 0
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find src tests tools bench fuzz -name '*.cpp' -o -name '*.h')
fi
clang-format --dry-run --Werror "${files[@]}"
echo "${#files[@]} files formatted as .clang-format says"
