#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan) into build-fuzz/ and runs each for FUZZ_SECONDS
# (default 20) from its seed corpus in fuzz/corpus/NAME and its past findings in fuzz/regressions/NAME. The
# inputs in the repository are not changed: new inputs go to build-fuzz/corpus/NAME, findings to
# build-fuzz/findings/NAME. Exits non-zero on any finding.
#   scripts/fuzz.sh [NAME...]      only the named targets
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_EACH=${FUZZ_SECONDS:-20}
JOBS=${JOBS:-2}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPINDREL_FUZZ=ON -DSPINDREL_BENCH=OFF \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in fuzz/*Fuzzer.cpp; do
        name=$(basename "$source" Fuzzer.cpp)
        targets+=("${name,,}")
    done
fi
cmake --build build-fuzz -j"$JOBS" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
for name in "${targets[@]}"; do
    corpus=build-fuzz/corpus/$name findings=build-fuzz/findings/$name
    mkdir -p "$corpus" "$findings"
    extra=()
    [ -f "fuzz/$name.dict" ] && extra+=(-dict="fuzz/$name.dict")
    seeds=("fuzz/corpus/$name")
    [ -d "fuzz/regressions/$name" ] && seeds+=("fuzz/regressions/$name")
    if build-fuzz/fuzz/fuzz_"$name" "$corpus" "${seeds[@]}" -max_total_time="$SECONDS_EACH" \
        -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$findings/" -print_final_stats=1 "${extra[@]}" \
        >"build-fuzz/$name.log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "build-fuzz/$name.log")
        echo "fuzz $name: ${runs:-?} executions, nothing found"
    else
        echo "fuzz $name: FOUND a fault, inputs in $findings (log: build-fuzz/$name.log)"
        tail -n 40 "build-fuzz/$name.log"
        failed=1
    fi
done
exit $failed
