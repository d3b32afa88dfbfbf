#!/usr/bin/env bash
# Runs the audio engine's test program with everything it needs around it:
#
#   tests/audio/run_audio_tests.sh TEST_AUDIO_EXE [GTEST-ARGS...]
#
#   - the media files the tests play (made here with sox and lame),
#   - PulseAudio with its null sink, the test station (Icecast + ezstream)
#     and the misbehaving server tests/audio/fault_server.py; each is started
#     only when it is not running already and stopped again only if started here,
#   - a test CA trusted for the run (with_test_ca.sh), and a second station of
#     our own with an Ogg Vorbis mount on a plain and a TLS port (18040, 18443);
#     the fault server gets TLS listeners with good and bad certificates,
#   - a private resolver: host name look-ups go to 127.0.0.1 only (a mount
#     namespace with its own /etc/resolv.conf), so the unknown-host case never
#     leaves the machine,
#   - one Wine/Xvfb harness for all runs of the program.
#
# Three runs: the engine's tests; the recording checks (the null sink's
# monitor is recorded while the program plays a 1 kHz tone, from an MP3 file
# and from an Ogg Vorbis stream over HTTPS, then its frequency and level are
# measured); the no-device case with PulseAudio out of reach.
# Exits non-zero when a service cannot be started or any check fails.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
if [[ $# -lt 1 ]]; then
  echo "usage: $0 TEST_AUDIO_EXE [GTEST-ARGS...]" >&2
  exit 2
fi
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift

say() { echo "audio-tests: $*" >&2; }

# 0. The test CA, trusted until the run ends.
if [[ -z "${NEONARA_TEST_CERTS:-}" ]]; then
  exec bash "$here/with_test_ca.sh" bash "$0" "$exe" "$@"
fi

# 1. The private resolver (needs root for the mount namespace).
if [[ "${NEONARA_AUDIO_LOOPBACK_DNS:-}" != 1 ]]; then
  resolv=$(mktemp "${TMPDIR:-/tmp}/neonara-resolv.XXXXXX")
  echo "nameserver 127.0.0.1" >"$resolv"
  chmod 644 "$resolv"
  if unshare -m true 2>/dev/null; then
    exec unshare -m bash -c '
      mount --bind "$1" /etc/resolv.conf || exit 1
      rm -f "$1"
      shift
      export NEONARA_AUDIO_LOOPBACK_DNS=1
      exec bash "$@"' resolver "$resolv" "$0" "$exe" "$@"
  fi
  rm -f "$resolv"
  say "no mount namespace here: host name look-ups are not confined, the unknown-host test will fail"
  export NEONARA_AUDIO_LOOPBACK_DNS=0
fi

# 2. One harness (Xvfb, Wine prefix, wineserver) around everything below.
if [[ "${NEONARA_HARNESS:-}" != 1 || -z "${DISPLAY:-}" || -z "${WINEPREFIX:-}" ]]; then
  exec "$root/scripts/harness" bash "$0" "$exe" "$@"
fi

. "$root/scripts/lib/pulse.sh"
. "$root/scripts/lib/icecast.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/neonara-audio-tests.XXXXXX")
chmod 755 "$work"  # the Ogg station's Icecast writes its logs in here as nobody
fault_pid=""
parec_pid=""
cleanup() {
  [[ -n "$parec_pid" ]] && kill "$parec_pid" 2>/dev/null && wait "$parec_pid" 2>/dev/null
  [[ -n "$fault_pid" ]] && kill "$fault_pid" 2>/dev/null && wait "$fault_pid" 2>/dev/null
  stop_icecast_child "$work/ogg-station.pids"
  stop_icecast
  stop_pulse
  rm -rf "$work"
}
trap cleanup EXIT

make_test_media() {
  local dir=$1
  mkdir -p "$dir"
  (
    set -e
    cd "$dir"
    # 861.328125 Hz is the centre of spectrum bin 10 at 44.1 kHz.
    sox -n -r 44100 -c 2 -b 16 tone.wav synth 4 sine 861.328125 vol 0.5
    sox -n -r 44100 -c 2 -b 16 rec1k.wav synth 3 sine 1000 vol 0.5
    sox -n -r 22050 -c 1 -b 16 mono22k.wav synth 2 sine 500 vol 0.5
    lame --quiet -b 128 --cbr tone.wav tone.mp3
    lame --quiet -b 128 --cbr rec1k.wav rec1k.mp3
    lame --quiet -m m -b 64 --cbr mono22k.wav mono22k.mp3
    oggenc --quiet -q 4 rec1k.wav -o rec1k.ogg
    # A chained stream: two songs, the second at another rate and in mono.
    sox -n -r 44100 -c 2 -b 16 one.wav synth 2 sine 861.328125 vol 0.5
    oggenc --quiet -q 4 -a "Neonara Chain" -t "One" one.wav -o one.ogg
    oggenc --quiet -q 2 -a "Neonara Chain" -t "Two" mono22k.wav -o two.ogg
    cat one.ogg two.ogg >chain.ogg
    rm -f ./*.wav one.ogg two.ogg
    echo "This is a text file, not an MP3 stream." >not-audio.txt
  )
}

make_test_media "$work/media" || { say "making the test media failed (sox, lame?)"; exit 1; }
start_pulse || { say "PulseAudio could not be started"; exit 1; }
start_icecast || { say "the test station could not be started"; exit 1; }
NEONARA_ICECAST_DIR=$work/ogg-station NEONARA_ICECAST_PORT=18040 NEONARA_ICECAST_FORMAT=ogg \
  NEONARA_ICECAST_MOUNT=/ogg NEONARA_ICECAST_TLS_PORT=18443 NEONARA_ICECAST_TLS_PEM=$NEONARA_TEST_CERTS/localhost.pem \
  start_icecast_child "$work/ogg-station.pids" || { say "the Ogg Vorbis station could not be started"; exit 1; }

python3 "$here/fault_server.py" --audio "$work/media/tone.mp3" --port-file "$work/fault-port" --lifetime 1800 \
  --ogg "$work/media/chain.ogg" --ogg-tone "$work/media/rec1k.ogg" --stall \
  --tls "good=$NEONARA_TEST_CERTS/localhost.pem" --tls "other-host=$NEONARA_TEST_CERTS/other-host.pem" \
  --tls "expired=$NEONARA_TEST_CERTS/expired.pem" &
fault_pid=$!
for ((i = 0; i < 100; i++)); do
  [[ -s "$work/fault-port" ]] && break
  sleep 0.05
done
[[ -s "$work/fault-port" ]] || { say "the fault server did not start"; exit 1; }

windows_path() { local p=$1; echo "Z:${p//\//\\}"; }
export NEONARA_AUDIO_MEDIA
NEONARA_AUDIO_MEDIA=$(windows_path "$work/media")
export NEONARA_FAULT_PORT NEONARA_FAULT_TLS_PORT NEONARA_FAULT_OTHER_HOST_PORT NEONARA_FAULT_EXPIRED_PORT NEONARA_FAULT_STALL_PORT
NEONARA_FAULT_PORT=$(cat "$work/fault-port")
NEONARA_FAULT_TLS_PORT=$(cat "$work/fault-port.good")
NEONARA_FAULT_OTHER_HOST_PORT=$(cat "$work/fault-port.other-host")
NEONARA_FAULT_EXPIRED_PORT=$(cat "$work/fault-port.expired")
NEONARA_FAULT_STALL_PORT=$(cat "$work/fault-port.stall")
export NEONARA_AUDIO_PULSE=1

run() { "$root/scripts/wine-run" "$exe" "$@"; }
failed=0

say "engine tests"
run --gtest_filter=-NoDevice.*:DeviceRecording.* "$@" || failed=1

# record_tone WHAT [URL]: records the sink while the program plays the 1 kHz
# tone (the MP3 file, or the stream at URL) and measures what arrived.
record_tone() {
  say "recording check: 1 kHz at half scale from $1 must reach the null sink"
  parec -d nullsink.monitor --raw --format=s16le --rate=44100 --channels=2 >"$work/recorded.raw" &
  parec_pid=$!
  sleep 0.5
  NEONARA_AUDIO_RECORDING=1 NEONARA_AUDIO_RECORDING_URL=${2:-} run --gtest_filter=DeviceRecording.* || failed=1
  sleep 0.3
  kill "$parec_pid" 2>/dev/null
  wait "$parec_pid" 2>/dev/null
  parec_pid=""
  python3 "$here/check_tone.py" "$work/recorded.raw" --frequency 1000 --amplitude 0.5 || failed=1
}
record_tone "an MP3 file"
record_tone "Ogg Vorbis over HTTPS" "https://localhost:$NEONARA_FAULT_TLS_PORT/ogg-tone"

say "no-device check: PulseAudio out of reach"
mkdir -p "$work/no-pulse"
PULSE_SERVER=unix:$work/no-pulse/none PULSE_RUNTIME_PATH=$work/no-pulse NEONARA_AUDIO_EXPECT_NO_DEVICE=1 \
  run --gtest_filter=NoDevice.* || failed=1

if [[ $failed == 0 ]]; then say "all audio checks passed"; else say "some audio checks FAILED"; fi
exit $failed
