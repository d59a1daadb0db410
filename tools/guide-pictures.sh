#!/bin/sh
# Draws the user guide's pictures: tools/guide-pictures.sh QUILLMAR FOLDER
# Each line of FOLDER/pictures.txt names a picture and the arguments of `quillmar snapshot`
# that draw it; blank lines and lines starting with # are skipped.
set -e
bin=${1:?usage: guide-pictures.sh QUILLMAR FOLDER}
dir=${2:?usage: guide-pictures.sh QUILLMAR FOLDER}
grep -v -e '^#' -e '^[[:space:]]*$' "$dir/pictures.txt" | while read -r name args; do
  # The arguments are words without quotes or spaces of their own: split them here.
  # shellcheck disable=SC2086
  "$bin" snapshot "$dir/$name" $args
  echo "drew $dir/$name"
done
