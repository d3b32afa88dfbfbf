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

# The dialog's window on the screen, from xwininfo of Wine's X window:
# "X Y WIDTH HEIGHT".
dialog_geometry() {
  xwininfo -id "$(dialog_window)" 2>/dev/null |
    awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
         /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}

# The frame surrounds a 410x420 client area centred on the display (Wine may
# still be placing the window when it first appears).
dialog_placed() {
  local wx wy ww wh cx=$(( (1024 - 410) / 2 )) cy=$(( (768 - 420) / 2 ))
  read -r wx wy ww wh <<<"$(dialog_geometry)"
  [[ -n "$wh" ]] && ((ww >= 410 && wh >= 420 && wx <= cx && wy <= cy &&
                      wx + ww >= cx + 410 && wy + wh >= cy + 420))
}

run_dialog() {  # run_dialog ARGS...
  : >"$work/out"
  wine "$scr" "$@" >"$work/out" 2>"$work/err" &
  saver_pid=$!
  wait_for 60 has_dialog || fail "no window titled 'Neonara Screensaver' for '$*'"
  wait_for 30 dialog_placed ||
    fail "the dialog's window ($(dialog_geometry)) does not hold a 410x420 client area centred on the display"
  echo "ok: the dialog's window ($(dialog_geometry)) holds the centred client area"
  # The OK button: 64x24 at 168,375 in the client area.
  local bx=$(( (1024 - 410) / 2 + 168 + 32 )) by=$(( (768 - 420) / 2 + 375 + 12 ))
  # Clicked again after a while if the process goes on: on a busy machine the
  # window can show before its button is ready for the first click.
  click_ok() { xdotool mousemove "$bx" "$by" click 1; wait_for 5 stopped; }
  wait_for 60 click_ok || fail "OK did not end the dialog"
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
