#!/bin/sh
# Installs the Debian packages the build, the tests and the benchmarks need.
# Does nothing when every package is already there; runs without a terminal.
set -e
PACKAGES="cmake make g++ pkg-config libpng-dev zlib1g-dev libsndfile1-dev libx11-dev libxext-dev \
libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev libfreetype-dev fonts-dejavu-core xvfb xdotool"
missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q $missing
