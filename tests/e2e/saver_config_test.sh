#!/usr/bin/env bash
# Opens the configuration dialog the ways Windows does ("/c", and a start
# without arguments) and checks it from the Linux side: the window titled
# "Neonara Screensaver" with its 410x420 client area in the middle of the
# 1024x768 display, its page beside the program, and the OK button, which a
# real click ends the process with, at once and with exit code 0.
#   saver_config_test.sh SCR     (inside scripts/harness; neonara.html beside SCR)
# Wine here has no HTML engine: the page itself does not render, which only
# Windows can show.
set -uo pipefail

scr=$1
. "$(dirname "${BASH_SOURCE[0]}")/saver_lib.sh"

[[ -f "$(dirname "$scr")/neonara.html" ]] || fail "no neonara.html beside $scr"

dialog_window() { xdotool search --name '^Neonara Screensaver$' 2>/dev/null | head -n 1; }
has_dialog() { [[ -n "$(dialog_window)" ]]; }

# The client area's top-left corner on the screen, from xwininfo of Wine's X window.
check_dialog() {
  local id geometry
  id=$(dialog_window)
  geometry=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
                                      /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}')
  echo "dialog window: $geometry"
  read -r wx wy ww wh <<<"$geometry"
  # The frame surrounds a 410x420 client area centred on the display.
  ((ww >= 410 && wh >= 420)) || fail "the dialog is $ww x $wh, smaller than its client area"
  local cx=$(( (1024 - 410) / 2 )) cy=$(( (768 - 420) / 2 ))
  ((wx <= cx && wy <= cy && wx + ww >= cx + 410 && wy + wh >= cy + 420)) ||
    fail "the client area at $cx,$cy is not inside the window at $wx,$wy"
  echo "ok: the dialog's window holds the centred client area"
}

run_dialog() {  # run_dialog ARGS...
  : >"$work/out"
  wine "$scr" "$@" >"$work/out" 2>"$work/err" &
  saver_pid=$!
  wait_for 60 has_dialog || fail "no window titled 'Neonara Screensaver' for '$*'"
  sleep 1
  check_dialog
  # The OK button: 64x24 at 168,375 in the client area.
  local bx=$(( (1024 - 410) / 2 + 168 + 32 )) by=$(( (768 - 420) / 2 + 375 + 12 ))
  xdotool mousemove "$bx" "$by" click 1
  wait_for 10 stopped || fail "OK did not end the dialog"
  wait "$saver_pid"
  local rc=$?
  saver_pid=
  [[ $rc == 0 ]] || fail "exit code $rc after OK"
  [[ ! -s "$work/out" ]] || fail "output after OK: $(head -c 200 "$work/out")"
  echo "ok: OK ended '$*' with exit code 0"
}

run_dialog /c
run_dialog
exit 0
