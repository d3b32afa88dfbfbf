# The test radio station: Icecast2 on 127.0.0.1:80 with the mount /stream/1040,
# fed by ezstream with MP3 files made here (tones, a bass beat, silence), each
# tagged "Neonara Test - <song>" so the station sends changing stream titles.
# Another station (Ogg Vorbis, a TLS listener, other ports) runs beside it in
# a child shell: start_icecast_child / stop_icecast_child.
# Sourced by bash scripts:
#
#   . scripts/lib/icecast.sh
#   start_icecast    # starts Icecast and/or ezstream unless they already serve the mount
#   ...              # http://127.0.0.1/stream/1040
#   stop_icecast     # stops only what start_icecast started
#
# Settings (environment):
#   NEONARA_ICECAST_DIR  work folder (config, logs, web root, media), default: a new temp folder
#   NEONARA_ICECAST_SONG_SECONDS     length of the tone and the beat, default 6
#   NEONARA_ICECAST_SILENCE_SECONDS  length of the silence, default 24: long
#     enough for a new title to scroll in (253 frames at 4 units a frame) and
#     rest at the left even when the saver draws only 15 frames a second
#   NEONARA_ICECAST_ARTIST           the songs' artist, default "Neonara Test"
#   NEONARA_ICECAST_SONGS            the playlist, default "tone beat silence";
#     "beat" alone is a station of nothing but the bass beat
#   NEONARA_ICECAST_MOUNT            the mount, default /stream/1040; another one
#     is fed by an ezstream of its own when the server runs already
#   NEONARA_ICECAST_PORT             the plain HTTP port, default 80
#   NEONARA_ICECAST_FORMAT           mp3 (default) or ogg: Ogg Vorbis songs, each
#     file a link of its own in the stream, with ARTIST and TITLE comments
#   NEONARA_ICECAST_TLS_PORT, NEONARA_ICECAST_TLS_PEM  a TLS listener on that
#     port with that key and certificate (one PEM file), when both are set
#
# Icecast refuses to run as root unless it changes owner: it drops to nobody
# after binding port 80, so its log folder is made writable for nobody.
# start_icecast returns non-zero, with a message on stderr, when the mount
# does not answer within 15 s.

ICECAST_MOUNT=${NEONARA_ICECAST_MOUNT:-/stream/1040}
ICECAST_PORT=${NEONARA_ICECAST_PORT:-80}
ICECAST_FORMAT=${NEONARA_ICECAST_FORMAT:-mp3}
if [[ $ICECAST_PORT == 80 ]]; then
  ICECAST_URL=http://127.0.0.1$ICECAST_MOUNT
else
  ICECAST_URL=http://127.0.0.1:$ICECAST_PORT$ICECAST_MOUNT
fi
_NEONARA_ICECAST_PID=""
_NEONARA_EZSTREAM_PID=""
_NEONARA_ICECAST_DIR=""
_NEONARA_ICECAST_OWN_DIR=0
# Our own source password: a station started by someone else is fed only by them.
_NEONARA_ICECAST_PASSWORD=neonara-source

_icecast_say() { echo "icecast: $*" >&2; }

# HTTP status code of a GET of PATH on the station's port, or nothing when no server answers.
_icecast_status() {
  python3 - "$1" "$ICECAST_PORT" <<'EOF' 2>/dev/null
import socket, sys
try:
    s = socket.create_connection(("127.0.0.1", int(sys.argv[2])), timeout=2)
    s.sendall(("GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n" % sys.argv[1]).encode())
    line = s.makefile("rb").readline().decode("latin-1").split()
    print(line[1] if len(line) > 1 else "")
except OSError:
    pass
EOF
}

# make_station_media DIR SECONDS SILENCE_SECONDS [FORMAT]: the station's songs
# and its playlist (NEONARA_ICECAST_SONGS), MP3 or Ogg Vorbis.  A stamp holds
# the lengths, the artist, the format and the playlist, so media made
# otherwise are made again.
make_station_media() {
  local dir=$1 secs=$2 quiet=$3 format=${4:-mp3}
  mkdir -p "$dir"
  command -v sox >/dev/null && command -v lame >/dev/null && command -v oggenc >/dev/null ||
    { _icecast_say "sox, lame and oggenc are needed (run scripts/bootstrap)"; return 1; }
  (
    set -e
    cd "$dir"
    sox -n -r 44100 -c 2 -b 16 tone.wav synth "$secs" sine 440 vol 0.5
    # Bass drum: a decaying 55 Hz burst twice a second.
    sox -n -r 44100 -c 2 -b 16 beat1.wav synth 0.15 sine 55 fade q 0 0.15 0.12 pad 0 0.35
    sox beat1.wav beat.wav repeat $((secs * 2 - 1))
    sox -n -r 44100 -c 2 -b 16 silence.wav trim 0 "$quiet"
    local artist=${NEONARA_ICECAST_ARTIST:-Neonara Test} song
    for song in "tone:Tone 440 Hz" "beat:Bass Beat" "silence:Silence"; do
      if [[ $format == ogg ]]; then
        # Quality 4 is about 128 kbit/s, as the MP3 songs.
        oggenc --quiet -q 4 -a "$artist" -t "${song#*:}" -o "${song%%:*}.ogg" "${song%%:*}.wav"
      else
        lame --quiet -b 128 --cbr --ta "$artist" --tt "${song#*:}" "${song%%:*}.wav" "${song%%:*}.mp3"
      fi
    done
    rm -f ./*.wav
    for song in $(_icecast_songs); do echo "$dir/$song.$format"; done >playlist.m3u
    _icecast_media_stamp "$secs" "$quiet" "$format" >lengths
  ) || { _icecast_say "making the station's media failed"; return 1; }
}

_icecast_songs() { echo "${NEONARA_ICECAST_SONGS:-tone beat silence}"; }

_icecast_media_stamp() { echo "$1 $2 ${NEONARA_ICECAST_ARTIST:-Neonara Test} $3 $(_icecast_songs)"; }

_icecast_write_config() {
  local dir=$1 tls_socket="" tls_certificate=""
  if [[ -n "${NEONARA_ICECAST_TLS_PORT:-}" && -n "${NEONARA_ICECAST_TLS_PEM:-}" ]]; then
    tls_socket="  <listen-socket><port>$NEONARA_ICECAST_TLS_PORT</port><bind-address>127.0.0.1</bind-address><ssl>1</ssl></listen-socket>"
    tls_certificate="    <ssl-certificate>$NEONARA_ICECAST_TLS_PEM</ssl-certificate>"
  fi
  local ezformat=MP3
  [[ $ICECAST_FORMAT == ogg ]] && ezformat=Ogg
  mkdir -p "$dir/log" "$dir/web"
  chown nobody:nogroup "$dir/log"
  cat >"$dir/icecast.xml" <<EOF
<icecast>
  <location>Neonara test station</location>
  <admin>test@localhost</admin>
  <limits>
    <clients>100</clients>
    <sources>4</sources>
    <queue-size>524288</queue-size>
    <client-timeout>30</client-timeout>
    <header-timeout>15</header-timeout>
    <source-timeout>10</source-timeout>
    <burst-on-connect>1</burst-on-connect>
    <burst-size>65535</burst-size>
  </limits>
  <authentication>
    <source-password>$_NEONARA_ICECAST_PASSWORD</source-password>
    <relay-password>$_NEONARA_ICECAST_PASSWORD</relay-password>
    <admin-user>admin</admin-user>
    <admin-password>$_NEONARA_ICECAST_PASSWORD</admin-password>
  </authentication>
  <hostname>127.0.0.1</hostname>
  <listen-socket>
    <port>$ICECAST_PORT</port>
    <bind-address>127.0.0.1</bind-address>
  </listen-socket>
$tls_socket
  <fileserve>1</fileserve>
  <paths>
    <basedir>$dir</basedir>
    <logdir>$dir/log</logdir>
    <webroot>$dir/web</webroot>
    <adminroot>/usr/share/icecast2/admin</adminroot>
    <pidfile>$dir/log/icecast.pid</pidfile>
$tls_certificate
  </paths>
  <logging>
    <accesslog>access.log</accesslog>
    <errorlog>error.log</errorlog>
    <loglevel>3</loglevel>
  </logging>
  <security>
    <chroot>0</chroot>
    <changeowner>
      <user>nobody</user>
      <group>nogroup</group>
    </changeowner>
  </security>
</icecast>
EOF
  cat >"$dir/ezstream.xml" <<EOF
<ezstream>
  <servers>
    <server>
      <protocol>HTTP</protocol>
      <hostname>127.0.0.1</hostname>
      <port>$ICECAST_PORT</port>
      <user>source</user>
      <password>$_NEONARA_ICECAST_PASSWORD</password>
      <tls>None</tls>
      <reconnect_attempts>10</reconnect_attempts>
    </server>
  </servers>
  <streams>
    <stream>
      <mountpoint>$ICECAST_MOUNT</mountpoint>
      <format>$ezformat</format>
      <public>No</public>
      <stream_name>Neonara Test Station</stream_name>
      <stream_genre>Test</stream_genre>
      <stream_bitrate>128</stream_bitrate>
      <stream_samplerate>44100</stream_samplerate>
      <stream_channels>2</stream_channels>
    </stream>
  </streams>
  <intakes>
    <intake>
      <type>playlist</type>
      <filename>$dir/media/playlist.m3u</filename>
      <stream_once>No</stream_once>
    </intake>
  </intakes>
  <metadata>
    <format_str>@a@ - @t@</format_str>
  </metadata>
</ezstream>
EOF
  # ezstream refuses a configuration that others can read (it holds a password).
  chmod 600 "$dir/ezstream.xml"
}

_icecast_wait_for() {
  local want=$1 i
  for ((i = 0; i < 150; i++)); do
    [[ "$(_icecast_status "$2")" == "$want" ]] && return 0
    sleep 0.1
  done
  return 1
}

start_icecast() {
  local status
  status=$(_icecast_status "$ICECAST_MOUNT")
  if [[ $status == 200 ]]; then
    return 0
  fi
  if [[ -n "${NEONARA_ICECAST_DIR:-}" ]]; then
    _NEONARA_ICECAST_DIR=$NEONARA_ICECAST_DIR
    mkdir -p "$_NEONARA_ICECAST_DIR"
  else
    _NEONARA_ICECAST_DIR=$(mktemp -d "${TMPDIR:-/tmp}/neonara-icecast.XXXXXX")
    _NEONARA_ICECAST_OWN_DIR=1
  fi
  chmod 755 "$_NEONARA_ICECAST_DIR"
  local dir=$_NEONARA_ICECAST_DIR
  _icecast_write_config "$dir"
  local song=${NEONARA_ICECAST_SONG_SECONDS:-6} silence=${NEONARA_ICECAST_SILENCE_SECONDS:-24}
  [[ -f "$dir/media/playlist.m3u" &&
     "$(cat "$dir/media/lengths" 2>/dev/null)" == "$(_icecast_media_stamp "$song" "$silence" "$ICECAST_FORMAT")" ]] ||
    make_station_media "$dir/media" "$song" "$silence" "$ICECAST_FORMAT" || return 1

  if [[ -z $status ]]; then
    command -v icecast2 >/dev/null || { _icecast_say "icecast2 is missing (run scripts/bootstrap)"; return 1; }
    icecast2 -c "$dir/icecast.xml" >"$dir/icecast.out" 2>&1 &
    _NEONARA_ICECAST_PID=$!
    if ! _icecast_wait_for 404 /nothing-here; then
      _icecast_say "Icecast did not answer on 127.0.0.1:$ICECAST_PORT: $(tail -n 5 "$dir/icecast.out" "$dir/log/error.log" 2>/dev/null)"
      stop_icecast
      return 1
    fi
  fi
  # A server answers but the mount is not there: feed it ourselves.
  command -v ezstream >/dev/null || { _icecast_say "ezstream is missing (run scripts/bootstrap)"; stop_icecast; return 1; }
  ezstream -c "$dir/ezstream.xml" >"$dir/ezstream.out" 2>&1 &
  _NEONARA_EZSTREAM_PID=$!
  if ! _icecast_wait_for 200 "$ICECAST_MOUNT"; then
    _icecast_say "the mount $ICECAST_MOUNT did not come up: $(tail -n 5 "$dir/ezstream.out" 2>/dev/null)"
    stop_icecast
    return 1
  fi
  return 0
}

_icecast_stop_pid() {
  local pid=$1 i
  [[ -n "$pid" ]] || return 0
  if kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
  fi
  wait "$pid" 2>/dev/null || true
}

stop_icecast() {
  _icecast_stop_pid "$_NEONARA_EZSTREAM_PID"
  _NEONARA_EZSTREAM_PID=""
  _icecast_stop_pid "$_NEONARA_ICECAST_PID"
  _NEONARA_ICECAST_PID=""
  if [[ $_NEONARA_ICECAST_OWN_DIR == 1 && -n "$_NEONARA_ICECAST_DIR" ]]; then
    rm -rf "$_NEONARA_ICECAST_DIR"
  fi
  _NEONARA_ICECAST_DIR=""
  _NEONARA_ICECAST_OWN_DIR=0
}

# start_icecast_child PIDFILE: start_icecast in a child shell that takes its
# settings from the environment (a station of its own beside this shell's),
# which must name its folder (NEONARA_ICECAST_DIR) and port. The pids of
# what it started go to PIDFILE for stop_icecast_child.
start_icecast_child() {
  local pidfile=$1
  [[ -n "${NEONARA_ICECAST_DIR:-}" && -n "${NEONARA_ICECAST_PORT:-}" ]] ||
    { _icecast_say "start_icecast_child needs NEONARA_ICECAST_DIR and NEONARA_ICECAST_PORT"; return 1; }
  bash -c '. "$1"; start_icecast || exit 1; echo "$_NEONARA_EZSTREAM_PID $_NEONARA_ICECAST_PID" >"$2"' \
    icecast-child "${BASH_SOURCE[0]}" "$pidfile"
}

stop_icecast_child() {
  local pidfile=$1 pid i
  [[ -s "$pidfile" ]] || return 0
  for pid in $(cat "$pidfile"); do
    kill -TERM "$pid" 2>/dev/null || continue
    for ((i = 0; i < 50; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
  done
  rm -f "$pidfile"
}
