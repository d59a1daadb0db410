#!/bin/sh
# Installs a built LV2 bundle: tools/install-lv2.sh BUILD/lv2/quillmar.lv2
# into $LV2_INSTALL_DIR (default ~/.lv2), replacing an older copy only once the new one is
# complete, so a failed copy never leaves half a bundle where hosts look.
set -e
src=${1:?usage: install-lv2.sh BUNDLE}
dest=${LV2_INSTALL_DIR:-$HOME/.lv2}
name=$(basename "$src")
[ -f "$src/manifest.ttl" ] || { echo "install-lv2: $src is not a built bundle" >&2; exit 1; }
mkdir -p "$dest"
rm -rf "$dest/$name.new"
cp -R "$src" "$dest/$name.new"
rm -rf "$dest/$name"
mv "$dest/$name.new" "$dest/$name"
echo "installed $dest/$name"
