#!/usr/bin/env bash
# The audio engine's benchmark (see audio_bench.cpp):
#
#   bench/audio/run_audio_bench.sh BUILD_DIR
#
# Makes one minute of 128 kbit/s MP3 and Ogg Vorbis (tones over pink noise,
# with sox, lame and oggenc), serves them once per request from
# tests/audio/fault_server.py on 127.0.0.1 (the MP3 over HTTPS too, with a
# test CA trusted for the run), measures Debian's `mpg123 -t` and `oggdec`
# decoding them (CPU time) and runs audio_bench.exe with PulseAudio's null
# sink as the device. Prints `bench NAME ours=... baseline=... ratio=...` lines.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)

# The CA before the harness: its wineserver reads the trusted roots once.
if [[ -z "${NEONARA_TEST_CERTS:-}" ]]; then
  exec bash "$root/tests/audio/with_test_ca.sh" bash "$0" "$build"
fi
if [[ "${NEONARA_HARNESS:-}" != 1 || -z "${DISPLAY:-}" || -z "${WINEPREFIX:-}" ]]; then
  exec "$root/scripts/harness" bash "$0" "$build"
fi
for tool in mpg123 oggdec; do
  command -v $tool >/dev/null || { echo "audio-bench: $tool is missing (run scripts/bootstrap)" >&2; exit 1; }
done

. "$root/scripts/lib/pulse.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/neonara-audio-bench.XXXXXX")
server=""
cleanup() {
  [[ -n "$server" ]] && kill "$server" 2>/dev/null && { wait "$server" 2>/dev/null || true; }
  stop_pulse
  rm -rf "$work"
}
trap cleanup EXIT

sox -n -r 44100 -c 2 -b 16 "$work/minute.wav" synth 60 pinknoise vol 0.2 synth 60 sine mix 220-880 vol 0.6
lame --quiet -b 128 --cbr "$work/minute.wav" "$work/minute.mp3"
oggenc --quiet -b 128 "$work/minute.wav" -o "$work/minute.ogg"
rm -f "$work/minute.wav"

# CPU seconds (user + system) of a decoder decoding a file without output.
cpu_of() {
  python3 - "$@" <<'PY'
import resource, subprocess, sys
subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL)
r = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.4f" % (r.ru_utime + r.ru_stime))
PY
}
baseline=$(cpu_of mpg123 -q -t "$work/minute.mp3")
ogg_baseline=$(cpu_of oggdec -Q -o /dev/null "$work/minute.ogg")

start_pulse
python3 "$root/tests/audio/fault_server.py" --audio "$work/minute.mp3" --port-file "$work/port" --lifetime 900 \
  --ogg "$work/minute.ogg" --tls "good=$NEONARA_TEST_CERTS/localhost.pem" &
server=$!
for ((i = 0; i < 100; i++)); do [[ -s "$work/port" ]] && break; sleep 0.05; done
port=$(cat "$work/port")
tls_port=$(cat "$work/port.good")
folder="Z:${work//\//\\}"
"$root/scripts/wine-run" "$build/audio_bench.exe" "http://127.0.0.1:$port/once" "$folder\\minute.mp3" "$baseline" \
  "http://127.0.0.1:$port/ogg" "$folder\\minute.ogg" "$ogg_baseline" "https://localhost:$tls_port/once"
