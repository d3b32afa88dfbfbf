#!/usr/bin/env bash
# Runs the saver full-screen with the real radio library beside it while the
# harness's station plays (a 440 Hz tone, a bass beat and silence, each with
# its "Neonara Test - <song>" title), and checks from the Linux side that
#   - the station's sound reaches the PulseAudio null sink (its monitor is
#     recorded and the tone's frequency and level are measured),
#   - the "fft=" lines carry the music's levels,
#   - the station's titles scroll in over the bar (read from screenshots),
#   - the loud bass beat brings centre fireworks and quiet brings none.
#   saver_station_test.sh SCR    (inside scripts/harness; bass.dll beside SCR)
set -uo pipefail

scr=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/saver_lib.sh"

titles=("Neonara Test - Tone 440 Hz" "Neonara Test - Bass Beat" "Neonara Test - Silence")
# Most seconds to watch for everything: the station's round of songs lasts
# 36 s, and a loaded machine may need several rounds to be caught at each sight.
limit=300
parec_pid=

root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib/pulse.sh"
. "$root/scripts/lib/icecast.sh"

cleanup_more() {
  [[ -n "$parec_pid" ]] && kill "$parec_pid" 2>/dev/null
  stop_icecast
  stop_pulse
}

command -v tesseract >/dev/null || fail "tesseract is missing (run scripts/bootstrap)"
# The harness has started both; another user of the machine's shared sound
# daemon and station may have stopped them since, so they are made sure of
# (each is started only when it does not answer, and stopped only if started here).
start_pulse || fail "no PulseAudio"
start_icecast || fail "the station does not answer"

parec -d nullsink.monitor --raw --format=s16le --rate=44100 --channels=2 >"$work/recorded.raw" &
parec_pid=$!

start_saver
python3 "$here/station_check.py" "$work/out" "$work" "$saver_pid" "$limit" "${titles[@]}" ||
  fail "the saver did not show the station as it should"
echo "ok: fft lines, titles on the bar and fireworks on the beat"

# The tone is one song of the round: the recording may need to grow until it
# holds two seconds of it.
heard() {
  python3 "$here/../audio/check_tone.py" "$work/recorded.raw" --frequency 440 --amplitude 0.5 --part 2
}
wait_for 120 heard || fail "the station's tone did not reach the null sink"
echo "ok: the station's sound at the null sink"
running || fail "the saver ended while playing"
xdotool key space
expect_end "EVENT_MOUSEDOWN, EVENT_KEYDOWN"
exit 0
