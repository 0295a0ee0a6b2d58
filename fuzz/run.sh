#!/bin/sh
# Builds the fuzz target with clang and address checking, replays the inputs
# kept in fuzz/regressions/, then fuzzes for a while (default 60 s) from a seed
# corpus of the fixtures the device and engine tests build (from build/, made
# by scripts/build.sh) and the bundled sample. Exits non-zero when an input
# crashes, leaks past the sanitizer or hangs; libFuzzer then names the file it
# wrote (crash-*, timeout-*, oom-*) in fuzz/findings/. Keep it in
# fuzz/regressions/ once the fault is fixed.
#
#   fuzz/run.sh [seconds]
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"
[ -f build-fuzz/CMakeCache.txt ] || CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja \
  -DLUMORA_FUZZ=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "${JOBS:-2}" --target pdf_fuzzer
fuzzer=./build-fuzz/bin/pdf_fuzzer

scratch=$(mktemp -d "${TMPDIR:-/tmp}/lumora-fuzz-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
corpus="$scratch/corpus"
mkdir "$corpus"
cp resources/sample.pdf "$corpus"/
for tests in build/bin/device_tests build/bin/engine_tests; do
  if [ -x "$tests" ]; then
    # Only the fixtures are wanted here; the tests' verdicts come from ctest.
    LUMORA_FIXTURE_COPIES="$corpus" "$tests" >/dev/null 2>&1 || true
  else
    echo "fuzz/run.sh: $tests is not built; the corpus is the sample alone" >&2
  fi
done
echo "seed corpus: $(ls "$corpus" | wc -l) files"

# The fuzzer's work folder and the engine's outline files go to the scratch folder.
export TMPDIR="$scratch"
export ASAN_OPTIONS="detect_leaks=0:allocator_may_return_null=1"
if ls fuzz/regressions/* >/dev/null 2>&1; then
  "$fuzzer" -timeout=20 -rss_limit_mb=4096 fuzz/regressions/*
fi
mkdir -p fuzz/findings
# A fixed seed makes a run repeatable on the same build and corpus.
"$fuzzer" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" -max_len=65536 -timeout=20 \
  -rss_limit_mb=4096 -artifact_prefix=fuzz/findings/ -print_final_stats=1 "$corpus"
