#!/usr/bin/env bash
# Runs the saver for a long time with a radio station that is restarted
# under it, and checks that nothing grows, nothing crashes and the radio
# comes back after every restart:
#
#   soak.sh SOAK_EXE MINUTES RESTARTS      (bass.dll beside SOAK_EXE)
#
# The run gets a network of its own (a new network namespace with only its
# loopback), so its station on 127.0.0.1:80 can be stopped and started
# without touching anyone else's, and a harness of its own inside it (Xvfb,
# PulseAudio, Wine). The station's songs are a 6 s tone, a 6 s beat and 6 s of
# silence, titled "Soak Round N - ..." with N counting the restarts. The null
# sink's monitor is recorded. tests/soak/check_soak.py then reads the saver's
# "soak" lines and the recording (see there for what is checked).
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
if [[ $# -ne 3 ]]; then
  echo "usage: $0 SOAK_EXE MINUTES RESTARTS" >&2
  exit 2
fi
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
minutes=$2
restarts=$3

# 1. A network of its own, then a harness of its own inside it.
if [[ "${NEONARA_SOAK_NETNS:-}" != 1 ]]; then
  command -v unshare >/dev/null || { echo "soak: unshare is missing" >&2; exit 1; }
  exec unshare -n env -u NEONARA_HARNESS -u DISPLAY -u WINEPREFIX NEONARA_SOAK_NETNS=1 \
    NEONARA_SERVICES="xvfb pulse wine" bash -c 'ip link set lo up && exec "$@"' soak \
    "$root/scripts/harness" bash "$0" "$exe" "$minutes" "$restarts"
fi

. "$root/scripts/lib/icecast.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/neonara-soak.XXXXXX")
chmod 755 "$work"  # Icecast, changed to nobody, writes its logs below it
saver_pid=""
parec_pid=""
cleanup() {
  [[ -n "$saver_pid" ]] && kill "$saver_pid" 2>/dev/null
  [[ -n "$parec_pid" ]] && kill "$parec_pid" 2>/dev/null
  stop_icecast
  rm -rf "$work"
}
trap cleanup EXIT
say() { echo "soak: $*"; }
now() { date +%s.%N; }

export NEONARA_ICECAST_DIR=$work/station NEONARA_ICECAST_SONG_SECONDS=6 NEONARA_ICECAST_SILENCE_SECONDS=6
round_station() {  # round_station N: the station anew, its titles naming round N
  stop_icecast
  rm -rf "$NEONARA_ICECAST_DIR/media"
  NEONARA_ICECAST_ARTIST="Soak Round $1" start_icecast
}

round_station 1 || { say "the station did not start"; exit 1; }
parec -d nullsink.monitor --raw --format=s16le --rate=44100 --channels=2 >"$work/recorded.raw" &
parec_pid=$!
recording_start=$(now)
: >"$work/events"

xdotool mousemove 400 400
wine "$exe" /s 10 >"$work/out" 2>"$work/err" &
saver_pid=$!
say "running the saver for $minutes minutes with $restarts station restarts"
total=$((minutes * 60))
start=$SECONDS
# Windows handles cannot be counted under Wine (the count reads 0); the
# process's open file descriptors are counted instead, every 10 s.
: >"$work/fds"
tick() {
  (((SECONDS - start) % 10 == 0)) &&
    echo "$((SECONDS - start)) $(ls "/proc/$saver_pid/fd" 2>/dev/null | wc -l)" >>"$work/fds"
  sleep 1
}
for ((r = 1; r <= restarts; r++)); do
  at=$((total * r / (restarts + 1)))
  while ((SECONDS - start < at)); do
    kill -0 "$saver_pid" 2>/dev/null || break 2
    tick
  done
  round_station $((r + 1)) || { say "the station did not start again"; exit 1; }
  echo "restart $((r + 1)) $(now)" >>"$work/events"
  say "station restarted (round $((r + 1))) at $((SECONDS - start)) s"
done
while ((SECONDS - start < total)) && kill -0 "$saver_pid" 2>/dev/null; do tick; done

kill -0 "$saver_pid" 2>/dev/null && xdotool key space
# Wine takes seconds to take down a full-screen window.
for ((i = 0; i < 600; i++)); do kill -0 "$saver_pid" 2>/dev/null || break; sleep 0.1; done
wait "$saver_pid"
code=$?
saver_pid=""
kill "$parec_pid" 2>/dev/null
wait "$parec_pid" 2>/dev/null
parec_pid=""
python3 "$here/check_soak.py" "$work/out" "$work/recorded.raw" "$recording_start" "$work/events" "$code" \
  "$work/fds"
