#!/bin/sh
# The Debian package of a build, installed into a private root (dpkg --root, with a dpkg
# database of its own), used from a folder outside the source tree with QUILLMAR_RESOURCES
# unset, then removed: no file of it may stay. tests/package/private_root_test.sh BUILD
set -eu
build=$(cd "${1:?usage: private_root_test.sh BUILD}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/checks.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmar-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB --config CPackConfig.cmake -B "$work/deb") >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$work/cpack.log")"
deb=$(ls "$work"/deb/quillmar_*_*.deb)
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: >"$root/var/lib/dpkg/status"
# The dependencies are not in the private database: dpkg warns, and installs all the same.
dpkg_root() {
  dpkg --root="$root" --force-not-root --force-depends --log=/dev/null "$@" >"$work/dpkg.log" 2>&1 ||
    fail "dpkg $*: $(cat "$work/dpkg.log")"
}
dpkg_root -i "$deb"

LV2_PATH=$root/usr/lib/lv2 MANPATH=$root/usr/share/man
export LV2_PATH MANPATH
check_installed "$root/usr/bin/quillmar" "$build" "$work/use"

dpkg_root -r quillmar
left=$(find "$root" ! -type d ! -path "$root/var/lib/dpkg/*")
[ -z "$left" ] || fail "left after removal: $left"
echo "$(basename "$deb"): installed into a private root, used, removed"
