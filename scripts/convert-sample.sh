#!/bin/sh
# Converts the bundled sample PDF and says where the result is.
set -eu
cd "$(dirname "$0")/.."
out="$PWD/build/sample-output"
mkdir -p "$out"
./build/bin/page_files_example resources/sample.pdf "$out"
echo "The sample's page files are in $out"
