#!/bin/sh
# Unit tests built with AddressSanitizer + UndefinedBehaviorSanitizer, the tunnel's
# threads under ThreadSanitizer, then the libFuzzer targets (clang) for
# ZELORA_FUZZ_SECONDS each, two at a time, from their seeds and with their dictionaries.
set -eu
cd "$(dirname "$0")/.."
# The compiler cache matches this clone's files with another clone's.
CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(pwd)}" CCACHE_NOHASHDIR=true
export CCACHE_BASEDIR CCACHE_NOHASHDIR
cmake -S . -B build-asan -G Ninja -DZELORA_SANITIZE=ON \
      -DZELORA_INTEGRATION=OFF -DZELORA_BENCHMARKS=OFF -DZELORA_TOOLS=OFF
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan -L unit --output-on-failure -j2 --timeout 600
# The tunnel's unit tests and its tests against the tunnel server, under ThreadSanitizer:
# reconnects, self-stopping threads and bounded connects are where its races would be.
cmake -S . -B build-tsan -G Ninja -DCMAKE_CXX_FLAGS=-fsanitize=thread \
      -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DZELORA_BENCHMARKS=OFF
cmake --build build-tsan --target tunnel_unit_tests tunnel_integration_tests tunnel-server
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan -R '^Tunnel' -E '^TunnelDiag' --output-on-failure -j2 --timeout 300
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DZELORA_FUZZ=ON -DZELORA_FUZZ_SECONDS=10 \
      -DZELORA_INTEGRATION=OFF -DZELORA_BENCHMARKS=OFF -DZELORA_TOOLS=OFF
if cmake --build build-fuzz --target help | grep -q zelora_fuzzers; then
    cmake --build build-fuzz --target zelora_fuzzers
    ctest --test-dir build-fuzz -L fuzz --output-on-failure -j2
fi
