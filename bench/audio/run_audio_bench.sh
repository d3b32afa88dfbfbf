#!/usr/bin/env bash
# The audio engine's benchmark (see audio_bench.cpp):
#
#   bench/audio/run_audio_bench.sh BUILD_DIR
#
# Makes one minute of 128 kbit/s MP3 (tones over pink noise, with sox and
# lame), serves it once per request from tests/audio/fault_server.py on
# 127.0.0.1, measures Debian's `mpg123 -t` decoding it (CPU time) and runs
# audio_bench.exe with PulseAudio's null sink as the device. Prints
# `bench NAME ours=... baseline=... ratio=...` lines.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)

if [[ "${NEONARA_HARNESS:-}" != 1 || -z "${DISPLAY:-}" || -z "${WINEPREFIX:-}" ]]; then
  exec "$root/scripts/harness" bash "$0" "$build"
fi
command -v mpg123 >/dev/null || { echo "audio-bench: mpg123 is missing (run scripts/bootstrap)" >&2; exit 1; }

. "$root/scripts/lib/pulse.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/neonara-audio-bench.XXXXXX")
server=""
cleanup() {
  [[ -n "$server" ]] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  stop_pulse
  rm -rf "$work"
}
trap cleanup EXIT

sox -n -r 44100 -c 2 -b 16 "$work/minute.wav" synth 60 pinknoise vol 0.2 synth 60 sine mix 220-880 vol 0.6
lame --quiet -b 128 --cbr "$work/minute.wav" "$work/minute.mp3"
rm -f "$work/minute.wav"

# CPU seconds (user + system) of mpg123 decoding the file without output.
baseline=$(python3 - "$work/minute.mp3" <<'PY'
import resource, subprocess, sys
subprocess.run(["mpg123", "-q", "-t", sys.argv[1]], check=True)
r = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.4f" % (r.ru_utime + r.ru_stime))
PY
)

start_pulse
python3 "$root/tests/audio/fault_server.py" --audio "$work/minute.mp3" --port-file "$work/port" --lifetime 900 &
server=$!
for ((i = 0; i < 100; i++)); do [[ -s "$work/port" ]] && break; sleep 0.05; done
port=$(cat "$work/port")
file="Z:${work//\//\\}\\minute.mp3"
"$root/scripts/wine-run" "$build/audio_bench.exe" "http://127.0.0.1:$port/once" "$file" "$baseline"
