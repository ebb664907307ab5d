#!/usr/bin/env bash
# Installs what the program needs, builds it and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DHORCHPULT_TESTS=OFF -DHORCHPULT_BENCH=OFF
exec "${BUILD_DIR:-build}/app/horchpult"
