#!/usr/bin/env bash
# Installs what is needed, builds from scratch and runs every test: once plain, once under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the tests of threads (engine, log, decode) under
# ThreadSanitizer.
# The window tests (tests/ui) run with the others on Qt's offscreen platform; they need no display.
# A short benchmark pass checks the benchmarks still run; every fuzz target runs for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-rooms.sh

JOBS=${JOBS:-2}
rm -rf build build-asan build-tsan

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DSPINDREL_SANITIZE=ON -DSPINDREL_BENCH=OFF
cmake --build build-asan -j"$JOBS"

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPINDREL_TSAN=ON -DSPINDREL_BENCH=OFF
cmake --build build-tsan -j"$JOBS" --target test_engine test_log test_decode test_parts

if [ -x build/bench/spindrel_bench ]; then
    build/bench/spindrel_bench --benchmark_min_time=0.01
    build/bench/spindrel_ui_bench --benchmark_min_time=0.01
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j"$JOBS"
FUZZ_SECONDS=${FUZZ_SECONDS:-20} bash scripts/fuzz.sh
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -R '^(engine|log|decode|parts)$'
ctest --test-dir build --output-on-failure -j"$JOBS"
