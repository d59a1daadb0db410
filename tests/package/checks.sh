# The checks both packaging tests make of an installed quillmar (sourced, POSIX sh):
#   check_installed BIN BUILD WORK
# BIN is the installed program, BUILD the build folder its output must match, WORK an empty
# folder outside the source tree to work in. LV2 hosts and man find the installed files by
# their default paths, or by LV2_PATH and MANPATH when the caller sets them.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

check_installed() {
  bin=$1 build=$2 work=$3
  mkdir -p "$work/installed" "$work/tree" "$work/config" "$work/lonely/bin"
  export QUILLMAR_CONFIG_DIR="$work/config"
  unset QUILLMAR_RESOURCES
  [ "$("$bin" --version)" = "quillmar $(sed -n 's/^#define QUILLMAR_VERSION "\(.*\)"$/\1/p' \
    "$build/generated/quillmar_version.h")" ] || fail "--version says $("$bin" --version)"

  # The demo and a snapshot give what the build tree's program gives, byte for byte.
  for side in installed tree; do
    prog=$bin
    [ $side = tree ] && prog=$build/quillmar
    (cd "$work/$side" && "$prog" demo out >demo.txt && "$prog" snapshot warm.png --preset warm --size 2 &&
      "$prog" presets >presets.txt) || fail "$side: quillmar demo, snapshot or presets failed"
  done
  for f in demo.txt out/demo-input.wav out/demo-output.wav out/demo-state.bin out/demo-editor.png \
      warm.png presets.txt; do
    cmp -s "$work/installed/$f" "$work/tree/$f" || fail "$f differs from the build tree's"
  done
  [ "$(wc -l <"$work/installed/presets.txt")" -ge 8 ] || fail "fewer than eight presets"

  # The LV2 bundle: both plug-ins listed, their presets, and a render in lv2apply.
  listed=$(lv2ls)
  for uri in urn:merrowind:quillmar:stereo urn:merrowind:quillmar:mono; do
    echo "$listed" | grep -qx "$uri" || fail "lv2ls does not list $uri"
  done
  presets=$(lv2info urn:merrowind:quillmar:stereo 2>&1)
  while read -r name; do
    echo "$presets" | grep -q "^[[:space:]]*$name\$" || fail "lv2info does not list the preset $name"
  done <"$work/installed/presets.txt"
  env -u DISPLAY lv2apply -i "$work/installed/out/demo-input.wav" -o "$work/lv2apply.wav" \
    -c band_b_gain 6 urn:merrowind:quillmar:stereo >"$work/lv2apply.log" 2>&1 ||
    fail "lv2apply: $(cat "$work/lv2apply.log")"
  [ -s "$work/lv2apply.wav" ] || fail "lv2apply wrote nothing"

  # The man page and the completion.
  page=$(man -w quillmar) || fail "man -w quillmar finds no page"
  case $page in "${MANPATH:-/usr/share/man}"/man1/quillmar.1*) ;; *) fail "man -w quillmar: $page" ;; esac
  bash -n "$(dirname "$(dirname "$bin")")/share/bash-completion/completions/quillmar" ||
    fail "the bash completion does not parse"

  # Debian's copyright and changelog, a dated man page, and every relative link of the
  # installed documents leads to an installed file.
  share=$(dirname "$(dirname "$bin")")/share
  doc=$share/doc/quillmar
  for f in copyright changelog.Debian.gz README.md docs/GUIDE.md; do [ -s "$doc/$f" ] || fail "no $doc/$f"; done
  zcat "$share/man/man1/quillmar.1.gz" | grep -q '^\.TH QUILLMAR 1 "[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]"' ||
    fail "the man page's .TH line has no date"
  for md in README.md docs/GUIDE.md; do
    for link in $(grep -o '](\([^)#:]*\))' "$doc/$md" | sed 's/^](\(.*\))$/\1/'); do
      [ -e "$(dirname "$doc/$md")/$link" ] || fail "$md links $link, which is not installed"
    done
  done

  # A copy without the resources beside it never falls back on the source tree.
  cp "$bin" "$work/lonely/bin/quillmar"
  if (cd "$work/lonely" && ./bin/quillmar snapshot x.png 2>err.txt); then fail "a copy without its skin drew"; fi
  grep -q "is in none of the resource folders ($work/lonely/bin/resources, $work/lonely/share/quillmar/resources)" \
    "$work/lonely/err.txt" || fail "the copy says: $(cat "$work/lonely/err.txt")"
}
