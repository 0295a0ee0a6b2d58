#!/bin/sh
# Converts a generated 100-page document (text, rules, a few pictures) at
# 100 dpi with lumora and, where poppler-utils is installed, with pdftohtml,
# and prints both wall times and their ratio.
#
#   bench/run.sh            (after scripts/build.sh)
set -eu
cd "$(dirname "$0")/.."
bin="$PWD/build/bin"
work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

"$bin/make_bench_pdf" "$work/bench.pdf"

seconds() { date +%s.%N; }

start=$(seconds)
"$bin/lumora" -q -m -r -z 100 -i "$work/bench.pdf" -o "$work/lumora/bench.htm" 2>/dev/null
lumora=$(awk -v a="$(seconds)" -v b="$start" 'BEGIN { printf "%.3f", a - b }')
echo "lumora:    ${lumora} s"

if command -v pdftohtml >/dev/null 2>&1; then
  mkdir -p "$work/pdftohtml"
  start=$(seconds)
  pdftohtml -q -c -zoom 1.38889 -fmt jpg "$work/bench.pdf" "$work/pdftohtml/bench" >/dev/null
  other=$(awk -v a="$(seconds)" -v b="$start" 'BEGIN { printf "%.3f", a - b }')
  echo "pdftohtml: ${other} s"
  echo "ratio lumora/pdftohtml: $(awk -v a="$lumora" -v b="$other" 'BEGIN { printf "%.3f", a / b }')"
fi
