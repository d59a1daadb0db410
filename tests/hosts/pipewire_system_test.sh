#!/bin/bash
# The guide's system-wide correction under PipeWire, as a desktop runs it: a PipeWire daemon,
# its Pulse server and its session manager on a session bus of their own, a virtual sink made
# the default output, its monitor into `quillmar live`, Quillmar into a second sink that
# stands in for the sound card. What the desktop plays (pw-play into the default sink) is
# heard on the card only through Quillmar: silence without it, the signal with it.
#   pipewire_system_test.sh QUILLMAR
set -u
Q=$(realpath "$1")
for p in pipewire pipewire-pulse wireplumber pactl parecord pw-play pw-jack dbus-run-session python3; do
  command -v $p > /dev/null || { echo "pipewire_system_test: $p is missing (make deps-hosts)"; exit 1; }
done
if [ -z "${QM_IN_SESSION:-}" ]; then
  export QM_IN_SESSION=$(mktemp -d)
  trap 'rm -rf "$QM_IN_SESSION"' EXIT
  timeout 180 dbus-run-session -- "$0" "$Q" 2> "$QM_IN_SESSION/bus.log"
  status=$?
  [ $status -eq 0 ] && echo "pipewire_system_test: passed" || echo "pipewire_system_test: FAILED ($status)"
  exit $status
fi

cd "$QM_IN_SESSION"
export XDG_RUNTIME_DIR=$PWD/run QUILLMAR_CONFIG_DIR=$PWD/config
mkdir -m 700 run && mkdir config
pids=()
cleanup() { kill "${pids[@]}" 2> /dev/null; wait 2> /dev/null; }
trap cleanup EXIT
fail() { echo "pipewire_system_test: $*"; exit 1; }
pipewire > pipewire.log 2>&1 & pids+=($!)
sleep 1
pipewire-pulse > pulse.log 2>&1 & pids+=($!)
wireplumber > wireplumber.log 2>&1 & pids+=($!)
for i in $(seq 50); do pactl info > /dev/null 2>&1 && break; sleep 0.2; done

# The guide's commands, with a second sink for the card.
pactl load-module module-null-sink sink_name=eq_in sink_properties=device.description=EQ-in > /dev/null || fail "no null sink"
pactl load-module module-null-sink sink_name=card sink_properties=device.description=Card > /dev/null
pactl set-default-sink eq_in
for i in $(seq 50); do pw-jack jack_lsp 2> /dev/null | grep -q '^Card:playback_FR$' && break; sleep 0.2; done
ports=$(pw-jack jack_lsp 2> /dev/null)
for p in EQ-in:monitor_FL EQ-in:monitor_FR Card:playback_FL Card:playback_FR; do
  grep -qx "$p" <<< "$ports" || fail "no port $p in: $ports"
done
"$Q" demo demo > /dev/null || fail "quillmar demo failed"

# Plays the demo's input into the default sink while recording the card; sets peak.
play_and_record() {
  timeout 30 parecord -d card.monitor --file-format=wav rec.wav & local rec=$!
  sleep 0.5
  timeout 30 pw-play demo/demo-input.wav || fail "pw-play failed"
  sleep 0.5
  kill -INT $rec; wait $rec
  peak=$(python3 -c "
import struct, sys, wave
w = wave.open('rec.wav'); d = w.readframes(w.getnframes())
print(max((abs(v) for v in struct.unpack('<%dh' % (len(d) // 2), d)), default=0))") || fail "no recording"
}

play_and_record
[ "$peak" -eq 0 ] || fail "the card heard the desktop without Quillmar (peak $peak)"

pw-jack "$Q" live --name Speakers --no-window --state demo/demo-state.bin \
  --connect-in EQ-in:monitor_FL --connect-in EQ-in:monitor_FR \
  --connect-out Card:playback_FL --connect-out Card:playback_FR > live.out 2> live.err & live=$!
for i in $(seq 50); do pw-jack jack_lsp -c Speakers:out_2 2> /dev/null | grep -q Card:playback_FR && break; sleep 0.2; done
play_and_record
kill -TERM $live; wait $live
live_status=$?
[ $live_status -eq 0 ] || fail "quillmar live ended with $live_status: $(cat live.err)"
[ -s live.err ] && fail "quillmar live said: $(cat live.err)"
# The demo's input peaks near -6 dBFS: through Quillmar the card hears it at that order.
[ "$peak" -gt 3000 ] || fail "the card did not hear the desktop through Quillmar (peak $peak)"
exit 0
