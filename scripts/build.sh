#!/bin/sh
# Configures and builds everything into build/ (binaries and resources in build/bin).
set -eu
cd "$(dirname "$0")/.."
generator=""
command -v ninja >/dev/null 2>&1 && generator="-G Ninja"
# shellcheck disable=SC2086
[ -f build/CMakeCache.txt ] || cmake -S . -B build $generator -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "${JOBS:-2}"
