#!/bin/sh
# Unit tests built with AddressSanitizer + UndefinedBehaviorSanitizer, then the
# libFuzzer targets (clang) for ZELORA_FUZZ_SECONDS each.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build-asan -G Ninja -DZELORA_SANITIZE=ON \
      -DZELORA_INTEGRATION=OFF -DZELORA_BENCHMARKS=OFF -DZELORA_TOOLS=OFF
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan -L unit --output-on-failure -j2 --timeout 600
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DZELORA_FUZZ=ON \
      -DZELORA_INTEGRATION=OFF -DZELORA_BENCHMARKS=OFF -DZELORA_TOOLS=OFF
if cmake --build build-fuzz --target help | grep -q zelora_fuzzers; then
    cmake --build build-fuzz --target zelora_fuzzers
    ctest --test-dir build-fuzz -L fuzz --output-on-failure -j2
fi
