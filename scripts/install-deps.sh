#!/bin/sh
# Installs every Debian package that the build, the tests and the program need.
# Run as root; running it again changes nothing.
set -eu

if [ "$(id -u)" -ne 0 ]; then
  exec sudo "$0" "$@"
fi

packages="
  build-essential cmake pkg-config ninja-build
  clang-14 libclang-rt-14-dev
  libpoppler-private-dev libpoppler-dev poppler-data poppler-utils
  libcairo2-dev libpixman-1-dev libfontconfig-dev libfreetype-dev
  fonts-dejavu-core fonts-liberation
  libjpeg-turbo-progs
  qt6-base-dev qt6-base-dev-tools
  libgtest-dev libgmock-dev googletest
  qpdf
  chromium
"

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing
fi
