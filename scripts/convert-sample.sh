#!/bin/sh
# Converts the bundled sample PDF into a site, headless, and says where it is.
set -eu
cd "$(dirname "$0")/.."
out="$PWD/build/sample-site"
./build/bin/lumora -q -m -r -i resources/sample.pdf -o "$out/sample.htm"
echo "The sample's site is in $out/sample: open $out/sample/index.htm in a browser."
