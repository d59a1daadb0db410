#!/bin/sh
# Installs the Debian packages the build, the tests and the benchmarks need.
# Does nothing when every package is already there; runs without a terminal.
#   tools/deps.sh          what the build, the tests and the benchmarks need
#   tools/deps.sh hosts    the real LV2 hosts the tests load our bundle in, and the other
#                          equalisers the LV2 benchmark compares against; jackd2 gives jalv
#                          and `quillmar live` the JACK server (dummy driver) they run on;
#                          PipeWire and its JACK library run `quillmar live` through pw-jack,
#                          its Pulse server and pactl the guide's system-wide correction
#   tools/deps.sh mac      GNUstep's AppKit and the Objective-C++ compiler, for the Cocoa view
#                          (make mac-view), with its cairo back end to draw on X11
set -e
PACKAGES="cmake make g++ pkg-config libpng-dev zlib1g-dev libsndfile1-dev libx11-dev libxext-dev \
libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev libfreetype-dev fonts-dejavu-core \
fonts-dejavu-extra xvfb xdotool x11-apps libasound2-dev lv2-dev liblilv-dev libplist-dev clang libclang-rt-14-dev \
dpkg-dev file man-db libjack-jackd2-dev locales"
APT_OPTS=""
if [ "$1" = "hosts" ]; then
  PACKAGES="lilv-utils jalv lv2proc sordi lsp-plugins-lv2 x42-plugins jackd2 pipewire wireplumber pipewire-jack \
pipewire-pulse pulseaudio-utils"
  APT_OPTS="--no-install-recommends"  # jackd2 would bring a Qt control panel along
elif [ "$1" = "mac" ]; then
  PACKAGES="gnustep-devel libgnustep-gui-dev gobjc++ gnustep-back0.29-cairo"
  APT_OPTS="--no-install-recommends"
fi
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
$SUDO apt-get install -y -q $APT_OPTS $missing
