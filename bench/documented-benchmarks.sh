#!/usr/bin/env bash
# Compares the benchmarks the README's "Benchmarks" section lists with those the test suite runs
# (the NAMEs), so that none is documented without running in CI, and none runs undocumented.
#   documented-benchmarks.sh README NAME...
set -u
readme=$1
shift
listed=$(sed -n '/^## Benchmarks$/,/^## /p' "$readme" | grep -o 'build/bench/[A-Za-z0-9_]*' | sed 's|^build/bench/||' | sort -u)
if [ -z "$listed" ]; then
    echo "documented-benchmarks: $readme has no benchmark command under '## Benchmarks'" >&2
    exit 1
fi
run=$(printf '%s\n' "$@" | sort -u)
status=0
for name in $(comm -23 <(echo "$listed") <(echo "$run")); do
    echo "documented-benchmarks: the README lists $name, which the test suite does not run" >&2
    status=1
done
for name in $(comm -13 <(echo "$listed") <(echo "$run")); do
    echo "documented-benchmarks: the test suite runs $name, which the README does not list" >&2
    status=1
done
[ "$status" -eq 0 ] && echo "all $(echo "$listed" | wc -l) benchmarks the README lists run with the test suite"
exit "$status"
