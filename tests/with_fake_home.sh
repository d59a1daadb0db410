#!/bin/sh
# Runs a command (the test suite) with HOME pointing at a home of its own whose Quillmar
# settings differ from the defaults, and fails when the command changed them: no test may read
# or write the user's real settings (each test has a folder of its own).
#   tests/with_fake_home.sh ctest --test-dir build ...
set -u
home=$(mktemp -d /tmp/quillmar-home-XXXXXX) || exit 1
trap 'rm -rf "$home"' EXIT
settings="$home/.config/Quillmar"
mkdir -p "$settings"
printf 'Quillmar Prefs 1.2\nInterface size 2\nResolution 3\nLimiter -12\nVertical range 30\n' \
  > "$settings/Quillmar Preferences.dat"
before=$(cd "$settings" && ls -A && cat ./*)
unset XDG_CONFIG_HOME QUILLMAR_CONFIG_DIR
HOME="$home" "$@"
status=$?
after=$(cd "$settings" && ls -A && cat ./*)
if [ "$before" != "$after" ]; then
  echo "with_fake_home: the run changed the home's Quillmar settings (a test used the real home):" >&2
  (cd "$settings" && ls -lA) >&2
  [ $status -eq 0 ] && status=1
fi
exit $status
