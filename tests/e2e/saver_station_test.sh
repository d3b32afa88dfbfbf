#!/usr/bin/env bash
# Runs the saver full-screen with the real radio library beside it while the
# harness's station plays (a 440 Hz tone, a bass beat and silence, each with
# its "Neonara Test - <song>" title), and checks from the Linux side that
#   - the station's sound reaches the PulseAudio null sink (its monitor is
#     recorded and the tone's frequency and level are measured),
#   - the "fft=" lines carry the music's levels,
#   - the station's titles scroll in over the bar (read from screenshots),
#   - the loud bass beat brings centre fireworks and quiet brings none.
#
#   saver_station_test.sh SCR [--https-ogg]   (inside scripts/harness; bass.dll beside SCR)
#
# With --https-ogg the station is a second one, of Ogg Vorbis songs by
# "Neonara Ogg" on a TLS port, chosen as a user does: its URL in the
# registry (HKCU\Software\Neonara\StationURL, removed again afterwards).
# The harness must then run inside tests/audio/with_test_ca.sh, so that its
# wineserver trusts the station's certificate.
set -uo pipefail

scr=$1
mode=${2:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/saver_lib.sh"

artist="Neonara Test"
[[ $mode == --https-ogg ]] && artist="Neonara Ogg"
titles=("$artist - Tone 440 Hz" "$artist - Bass Beat" "$artist - Silence")
# Most seconds to watch for everything: the station's round of songs lasts
# 36 s, and a loaded machine may need several rounds to be caught at each sight.
limit=300
parec_pid=

root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib/pulse.sh"
. "$root/scripts/lib/icecast.sh"

station_key='HKCU\Software\Neonara'
cleanup_more() {
  [[ -n "$parec_pid" ]] && kill "$parec_pid" 2>/dev/null
  if [[ $mode == --https-ogg ]]; then
    wine reg delete "$station_key" /v StationURL /f >/dev/null 2>&1
    stop_icecast_child "$work/ogg-station.pids"
  fi
  stop_icecast
  stop_pulse
}

command -v tesseract >/dev/null || fail "tesseract is missing (run scripts/bootstrap)"
# The harness has started both; another user of the machine's shared sound
# daemon and station may have stopped them since, so they are made sure of
# (each is started only when it does not answer, and stopped only if started here).
start_pulse || fail "no PulseAudio"
if [[ $mode == --https-ogg ]]; then
  [[ -n "${NEONARA_TEST_CERTS:-}" ]] || fail "run inside tests/audio/with_test_ca.sh"
  chmod 755 "$work"  # the station's Icecast writes its logs in here as nobody
  NEONARA_ICECAST_DIR=$work/ogg-station NEONARA_ICECAST_PORT=18040 NEONARA_ICECAST_FORMAT=ogg \
    NEONARA_ICECAST_MOUNT=/ogg NEONARA_ICECAST_ARTIST="$artist" NEONARA_ICECAST_TLS_PORT=18443 \
    NEONARA_ICECAST_TLS_PEM=$NEONARA_TEST_CERTS/localhost.pem \
    start_icecast_child "$work/ogg-station.pids" || fail "the Ogg Vorbis station does not answer"
  wine reg add "$station_key" /v StationURL /d https://localhost:18443/ogg /f >/dev/null 2>&1 ||
    fail "the station could not be chosen"
else
  start_icecast || fail "the station does not answer"
fi

parec -d nullsink.monitor --raw --format=s16le --rate=44100 --channels=2 >"$work/recorded.raw" &
parec_pid=$!

start_saver
python3 "$here/station_check.py" "$work/out" "$work" "$saver_pid" "$limit" "${titles[@]}" ||
  fail "the saver did not show the station as it should"
echo "ok: fft lines, titles on the bar and fireworks on the beat ($artist)"

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
