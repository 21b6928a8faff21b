#!/bin/sh
# Configure, build and run every test (unit, integration with real peers).
set -eu
cd "$(dirname "$0")/.."
# The compiler cache matches this clone's files with another clone's.
CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(pwd)}" CCACHE_NOHASHDIR=true
export CCACHE_BASEDIR CCACHE_NOHASHDIR
# Shape first: no include points up the layer order, every file as clang-format makes it.
python3 scripts/check-layers.py
scripts/check-format.sh
cmake -S . -B build -G Ninja -DZELORA_WERROR=ON
cmake --build build
ctest --test-dir build --output-on-failure -j2 --timeout 600
