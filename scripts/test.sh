#!/usr/bin/env bash
# Installs what building and testing need, builds everything and runs the whole test suite but
# the long tests (label `long`, e.g. the ten-minute soak; `ctest -L long` in the build folder
# runs them). Every X11 test starts an X server of its own (tests/with-xvfb.sh), so no display
# is needed.
# With --sanitize the build goes to build-asan/ with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the unit, X11, offscreen and media tests there (but those
# labelled timing, which measure times at the sound server), then the fuzz targets for a minute
# each (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
if [ "${1:-}" = "--sanitize" ]; then
    build=${BUILD_DIR:-build-asan}
    (
        # Leaks are not this job's concern, also while the build lists each program's tests:
        # Qt's Wayland platform leaves libwayland-client's allocations at exit.
        export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
        export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
        BUILD_DIR=$build scripts/build.sh -DHORCHPULT_SANITIZE=ON -DHORCHPULT_BENCH=OFF
        cd "$build"
        ctest -j2 --output-on-failure -L 'unit|x11' -LE 'media|long'
        # One at a time: two sanitized players starve each other's audio output. What the
        # tests labelled timing measure at the sound server would be the sanitizers' slowness.
        ctest -j1 --output-on-failure -L media -LE 'long|timing'
    )
    exec scripts/fuzz.sh 60
fi
scripts/build.sh
cd "${BUILD_DIR:-build}" && exec ctest -j2 --output-on-failure -LE long
