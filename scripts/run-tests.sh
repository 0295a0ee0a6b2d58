#!/bin/sh
# Builds, then runs every test.
set -eu
cd "$(dirname "$0")/.."
./scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build -j "${JOBS:-2}" --output-on-failure --timeout 300
