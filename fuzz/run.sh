#!/bin/sh
# Builds the fuzz target with clang and runs it for a while (default 60 s) on
# the bundled sample as seed corpus; crashes found are kept in
# fuzz/regressions/ by hand and replayed here first.
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"
[ -f build-fuzz/CMakeCache.txt ] || CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja \
  -DLUMORA_FUZZ=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "${JOBS:-2}" --target pdf_fuzzer
corpus=$(mktemp -d "${TMPDIR:-/tmp}/lumora-corpus-XXXXXX")
trap 'rm -rf "$corpus"' EXIT
cp resources/sample.pdf "$corpus"/
if ls fuzz/regressions/* >/dev/null 2>&1; then
  ./build-fuzz/bin/pdf_fuzzer fuzz/regressions/*
fi
ASAN_OPTIONS=detect_leaks=0 ./build-fuzz/bin/pdf_fuzzer -max_total_time="$seconds" -max_len=65536 \
  -timeout=20 -rss_limit_mb=4096 "$corpus"
