#!/bin/sh
# Fails when a C++ file of the tree differs from what clang-format makes of it.
set -eu
cd "$(dirname "$0")/.."
bad=$(git ls-files 'src/*.h' 'src/*.cpp' 'tools/*.h' 'tools/*.cpp' 'tests/*.h' 'tests/*.cpp' |
      while read -r f; do clang-format --style=file --dry-run "$f" 2>&1 | grep -q . && echo "$f"; done || true)
if [ -n "$bad" ]; then
    echo "check-format: not formatted (run clang-format -i on them):" >&2
    echo "$bad" >&2
    exit 1
fi
echo "check-format: all files formatted"
