#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ and runs each for the given number of
# seconds (60 when not given) on a copy of its seed corpus in fuzz/corpus/. Fails when a
# fuzzer finds a crash, a sanitizer report, a broken promise or a hang; the input that did it
# is kept in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz
targets=(fuzz_number_reader fuzz_hotkey_names)

scripts/install-deps.sh --fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHORCHPULT_FUZZ=ON -DHORCHPULT_TESTS=OFF -DHORCHPULT_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

mkdir -p "$build/findings"
failed=0
for target in "${targets[@]}"; do
    corpus=$(mktemp -d "$build/corpus-$target.XXXXXX")
    cp fuzz/corpus/"$target"/* "$corpus"/
    log="$build/$target.log"
    status=0
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
        -artifact_prefix="$build/findings/$target-" "$corpus" >"$log" 2>&1 || status=$?
    rm -rf "$corpus"
    if [ "$status" -ne 0 ]; then
        echo "$target: FINDING (exit status $status), log in $log:" >&2
        tail -n 40 "$log" >&2
        failed=1
        continue
    fi
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
    echo "$target: $(grep -E '^Done [0-9]+ runs' "$log" | tail -n 1) -- ${done_line#*DONE }"
done
exit "$failed"
