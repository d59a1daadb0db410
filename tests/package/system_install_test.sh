#!/bin/sh
# The Debian package installed for real with dpkg -i, used as any user would (quillmar from
# the PATH, LV2 hosts and man without LV2_PATH or MANPATH, from a folder outside the source
# tree), then removed with dpkg -r: no file of it may stay. Needs root (CI runs as root);
# .ci/run runs it after make package. tests/package/system_install_test.sh BUILD
set -eu
build=$(cd "${1:?usage: system_install_test.sh BUILD}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/checks.sh"
[ "$(id -u)" -eq 0 ] || fail "dpkg -i needs root: run this as root (CI does)"
if dpkg-query -W -f='${Status}' quillmar 2>/dev/null | grep -q 'install ok installed'; then
  fail "quillmar is installed already; remove it first (this test installs and removes it)"
fi
deb=$(ls "$build"/quillmar_*_*.deb) || fail "no package in $build: run make package"
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmar-system-XXXXXX")
trap 'dpkg -r quillmar >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./#/#' >"$work/files.txt"

dpkg -i "$deb" >/dev/null
[ "$(command -v quillmar)" = /usr/bin/quillmar ] || fail "quillmar is not on the PATH as /usr/bin/quillmar"
unset LV2_PATH MANPATH
(cd "$work" && check_installed /usr/bin/quillmar "$build" "$work/use")

dpkg -r quillmar >/dev/null
while read -r f; do
  case $f in */) continue ;; esac
  [ ! -e "$f" ] || fail "$f is left after dpkg -r"
done <"$work/files.txt"
for d in /usr/share/quillmar /usr/lib/lv2/quillmar.lv2 /usr/share/doc/quillmar; do
  [ ! -e "$d" ] || fail "$d is left after dpkg -r"
done
echo "$(basename "$deb"): installed with dpkg -i, used, removed with dpkg -r"
