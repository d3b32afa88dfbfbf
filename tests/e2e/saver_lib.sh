# Shared by the saver's end-to-end scripts: starting neonara.scr /s under
# Wine on the harness's display, waiting for it, and checking how it ends.
# The sourcing script sets $scr (the saver) before calling start_saver;
# output goes to $work/out and $work/err.
#   . saver_lib.sh

work=$(mktemp -d)
saver_pid=

_saver_lib_cleanup() {
  [[ -n "$saver_pid" ]] && kill "$saver_pid" 2>/dev/null
  [[ $(type -t cleanup_more) == function ]] && cleanup_more
  rm -rf "$work"
}
trap _saver_lib_cleanup EXIT

fail() {
  echo "FAIL: $*"
  [[ -f "$work/out" ]] && { echo "--- saver output:"; grep -v '^fft=\|^Icy = null' "$work/out" | head -20; }
  exit 1
}

# Polls CMD until it succeeds, for at most SECONDS of wall time (tenths of
# a second apart, however long CMD itself takes).
wait_for() {  # wait_for SECONDS CMD...
  local deadline=$((SECONDS + $1))
  shift
  while :; do
    "$@" && return 0
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

running() { kill -0 "$saver_pid" 2>/dev/null; }
stopped() { ! running; }
# The loop prints a spectrum line every second frame.
fft_lines() { grep -c '^fft=' "$work/out" 2>/dev/null; }
# The loop runs once it has printed a few frames' spectrum lines.
looping() { [[ $(fft_lines) -ge 20 ]]; }
# Waits until the loop has drawn 2*N more frames, however fast it draws:
# it takes one event a frame, so what was sent before has been seen then.
frames_go_on() {  # frames_go_on N
  local want=$(($(fft_lines) + $1))
  _more_lines() { [[ $(fft_lines) -ge $want ]]; }
  wait_for 60 _more_lines
}

# Starts the saver as Windows does and checks its two display lines.
start_saver() {
  xdotool mousemove 400 400
  : >"$work/out"
  wine "$scr" /s >"$work/out" 2>"$work/err" &
  saver_pid=$!
  wait_for 90 looping || fail "the saver's loop did not start"
  local first second
  first=$(sed -n 1p "$work/out" | tr -d '\r')
  second=$(sed -n 2p "$work/out" | tr -d '\r')
  [[ "$first" == "1024/768/32/1" ]] || fail "first line: '$first'"
  [[ "$second" == "1024/768/32/-1" ]] || fail "second line: '$second'"
  echo "ok: display lines"
}

# Waits for the saver to end and checks its exit code and last line.
expect_end() {  # expect_end LINE
  # Wine takes seconds to take down a full-screen window, more on a busy machine.
  wait_for 60 stopped || fail "the saver did not end (expected '$1')"
  wait "$saver_pid"
  local rc=$?
  saver_pid=
  [[ $rc == 0 ]] || fail "exit code $rc"
  local last
  last=$(grep -v '^fft=\|^Icy = null' "$work/out" | tail -n 1 | tr -d '\r')
  [[ "$last" == "$1" ]] || fail "last line: '$last', expected '$1'"
  echo "ok: ended with '$1'"
}
