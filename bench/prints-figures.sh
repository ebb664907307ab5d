#!/usr/bin/env bash
# Runs a benchmark for the test suite: passes when it ends with status 0 and its standard output
# has a line matching each PATTERN (grep -E), its figures. They are not compared with their
# targets, since the machines that run the suite are shared and noisy; the time limit is ctest's.
#   prints-figures.sh PATTERN... -- COMMAND [ARGUMENT...]
set -u
patterns=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    patterns+=("$1")
    shift
done
if [ $# -lt 2 ] || [ ${#patterns[@]} -eq 0 ]; then
    echo "usage: prints-figures.sh PATTERN... -- COMMAND [ARGUMENT...]" >&2
    exit 2
fi
shift
output=$(mktemp "${TMPDIR:-/tmp}/horchpult-figures.XXXXXX")
trap 'rm -f "$output"' EXIT
# Line by line, so that a benchmark that crashes shows how far it got.
stdbuf -oL "$@" | tee "$output"
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
    echo "prints-figures: '$*' ended with status $status" >&2
    exit 1
fi
missing=0
for pattern in "${patterns[@]}"; do
    if ! grep -Eq -- "$pattern" "$output"; then
        echo "prints-figures: '$*' printed no line matching '$pattern'" >&2
        missing=1
    fi
done
exit "$missing"
