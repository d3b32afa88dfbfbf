#!/usr/bin/env bash
# Runs the saver's preview mode the way the Display Settings dialog drives it:
# preview_host.exe opens a window with a black 152x112 preview area and starts
# SCR /p <handle of the area>, closes the window when this script asks it to
# (once it has seen the preview draw) and gives the saver a minute to end.
# Checked from the Linux side:
#   - the saver's window becomes the area's child at the area's size, and its
#     loop draws frames (what reaches the screen is only reported: Wine shows
#     no drawing across processes, see below);
#   - the saver draws only inside the area: the host's own background around
#     it and the rest of the screen stay as they were;
#   - no sound reaches the PulseAudio null sink (the station is playing);
#   - once the host's windows are gone the saver ends by itself, with exit
#     code 0, and leaves nothing on the screen.
#   saver_preview_test.sh SCR HOST     (inside scripts/harness)
set -uo pipefail

scr=$1
host=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/saver_lib.sh"

show_seconds=600    # the longest the host shows the preview unless asked to close
exit_seconds=60     # how long it then waits for the saver to end
# preview_host.cpp paints its client area in this colour (kHostColor).
host_color="58,110,165"
parec_pid=

cleanup_more() { [[ -n "$parec_pid" ]] && kill "$parec_pid" 2>/dev/null; }

# The host's protocol lines; the saver writes to the same file, so a line
# may follow the saver's text without a line break before it.
said() { tr -d '\r' <"$work/out" | grep -q -- "$1"; }
line_of() { tr -d '\r' <"$work/out" | grep -n -m 1 -- "$1" | cut -d: -f1; }
# saver_lib.sh's running/stopped follow $saver_pid, which holds the host here.
started() { said 'child-started' || stopped; }

# Screenshot as raw 8-bit RGB (no PNG round trip needed).
shoot() {  # shoot FILE
  import -window root -depth 8 rgb:"$1"
}

# Looks at one screenshot.  The area holds the scene when it has
#   - at least 15 grey points (r = g = b, brighter than 8: the stars are
#     drawn untinted, so no other part of the scene is exactly grey) that
#     are points, not a fill (at most 40 % of the area), in at least two of
#     its quadrants;
#   - the logo: tinted pixels (the strongest channel at least 24 above the
#     weakest and at least 40: the logo's white texture times the tint keeps
#     the tint's hue at every brightness, and the tint always has one channel
#     of 150 or more over two others drawn from 1..150) numbering at least
#     20 in the middle band (rows 1/4..3/4, columns 1/8..7/8), spanning at
#     least 20 columns (a line, not a spot), and more of them in the middle
#     band than above and below it (the logo sits in the middle).
# Outside it, checked with --outside: every pixel of the host's 20-pixel
# margin around the area is the host's colour, and the screen beyond the
# host window (60 pixels of room for a frame) is as in the BEFORE shot.
# Prints a summary line; exit status 0 when all asked-for checks hold, 2
# when only "something was drawn" holds (--drawn is satisfied by that).
analyse() {  # analyse SHOT BEFORE X Y [--drawn|--scene|--outside]
  python3 - "$@" "$host_color" <<'PY'
import sys
shot_path, before_path, ax, ay, mode, host_color = sys.argv[1:7]
ax, ay = int(ax), int(ay)
W, H, AW, AH, MARGIN, ROOM = 1024, 768, 152, 112, 20, 60
shot = open(shot_path, "rb").read()
if len(shot) != W * H * 3:
    print(f"screenshot has {len(shot)} bytes, not {W}x{H}x3")
    sys.exit(1)

def px(x, y):
    i = (y * W + x) * 3
    return shot[i], shot[i + 1], shot[i + 2]

grey = []
tinted = []
for y in range(AH):
    for x in range(AW):
        r, g, b = px(ax + x, ay + y)
        hi, lo = max(r, g, b), min(r, g, b)
        if r == g == b and r > 8:
            grey.append((x, y))
        elif hi - lo >= 24 and hi >= 40:
            tinted.append((x, y, r, g, b))

quadrants = {(x * 2 // AW, y * 2 // AH) for x, y in grey}
stars_ok = len(grey) >= 15 and len(grey) <= AW * AH * 0.4 and len(quadrants) >= 2
mid = [t for t in tinted if AH // 4 <= t[1] < AH * 3 // 4 and AW // 8 <= t[0] < AW * 7 // 8]
mid_cols = len({t[0] for t in mid})
logo_ok = len(mid) >= 20 and mid_cols >= 20 and len(mid) > len(tinted) - len(mid)
mean = tuple(sum(t[k] for t in mid) // len(mid) for k in (2, 3, 4)) if mid else None
summary = (f"grey points {len(grey)} in {len(quadrants)}/4 quadrants; tinted pixels {len(tinted)}, "
           f"{len(mid)} of them in the middle band over {mid_cols} columns, mean colour {mean}")

if mode == "--drawn":
    print(summary)
    sys.exit(0 if len(grey) >= 15 or logo_ok else 1)
if mode == "--scene":
    print(summary)
    sys.exit(0 if stars_ok and logo_ok else 1)

# --outside
expected = bytes(int(c) for c in host_color.split(","))
bad = []
for y in range(ay - MARGIN, ay + AH + MARGIN):
    for x in range(ax - MARGIN, ax + AW + MARGIN):
        if ay <= y < ay + AH and ax <= x < ax + AW:
            continue
        if bytes(px(x, y)) != expected:
            bad.append((x - ax, y - ay, px(x, y)))
before = open(before_path, "rb").read()
x0, x1 = max(0, ax - MARGIN - ROOM), min(W, ax + AW + MARGIN + ROOM)
y0, y1 = max(0, ay - MARGIN - ROOM), min(H, ay + AH + MARGIN + ROOM)
changed_rows = []
for y in range(H):
    row = slice(y * W * 3, (y + 1) * W * 3)
    if shot[row] == before[row]:
        continue
    if y0 <= y < y1:
        left = slice(y * W * 3, (y * W + x0) * 3)
        right = slice((y * W + x1) * 3, (y + 1) * W * 3)
        if shot[left] == before[left] and shot[right] == before[right]:
            continue
    changed_rows.append(y)
print(f"host margin: {len(bad)} of {(AW + 2 * MARGIN) * (AH + 2 * MARGIN) - AW * AH} pixels not the host's colour"
      + (f" (first, relative to the area: {bad[:5]})" if bad else "")
      + f"; screen beyond the host window: {len(changed_rows)} rows changed"
      + (f" (first: {changed_rows[:5]})" if changed_rows else ""))
sys.exit(0 if not bad and not changed_rows else 1)
PY
}

[[ -f "$scr" ]] || fail "no saver at $scr"
[[ -f "$host" ]] || fail "no preview host at $host"
scr_win=$(winepath -w "$scr" 2>/dev/null | tr -d '\r')
[[ -n "$scr_win" ]] || fail "winepath could not convert $scr"
close_win=$(winepath -w "$work/close" 2>/dev/null | tr -d '\r')
[[ -n "$close_win" ]] || fail "winepath could not convert $work/close"

# The station is playing (when the harness has one): the preview must stay
# silent, which the null sink's monitor shows.
if [[ -n "${PULSE_RUNTIME_PATH:-}" ]] && command -v parec >/dev/null; then
  parec -d nullsink.monitor --raw --format=s16le --rate=44100 --channels=2 >"$work/recorded.raw" &
  parec_pid=$!
else
  echo "note: no PulseAudio from the harness, the silence is not checked"
fi

# The screen as it is before the host opens its window.
shoot "$work/before.rgb" || fail "no screenshot"

: >"$work/out"
wine "$host" "$scr_win" "$show_seconds" "$exit_seconds" "$close_win" >"$work/out" 2>"$work/err" &
saver_pid=$!    # the host; saver_lib.sh ends it when the script ends
shown_at=$SECONDS
wait_for 60 started || fail "the host did not start the saver"
said 'child-started' || fail "the host ended before starting the saver"
area_xy=$(tr -d '\r' <"$work/out" | grep -o 'area-screen=-\?[0-9]*,-\?[0-9]*' | head -n 1)
[[ -n "$area_xy" ]] || fail "the host printed no area-screen line"
area_xy=${area_xy#area-screen=}
ax=${area_xy%,*} ay=${area_xy#*,}
((ax >= 20 + 60 && ay >= 20 + 60 && ax + 152 + 20 + 60 <= 1024 && ay + 112 + 20 + 60 <= 768)) ||
  fail "the preview area at $ax,$ay leaves no room to check around it on the 1024x768 screen"
echo "ok: the host started the saver for its preview area at $ax,$ay"

# The preview runs: its loop prints one spectrum line every second frame
# (silence: "fft=0..."), so a few seconds of them show frames being drawn.
frames() { [[ $(tr -d '\r' <"$work/out" | grep -c '^fft=') -ge 60 ]]; }
wait_for 120 frames || fail "the preview drew no frames (no fft= lines)"
echo "ok: the preview draws frames ($(grep -c '^fft=' "$work/out") spectrum lines so far)"

# Under Wine, drawing from one process into a child window of another
# process's window never reaches the screen (neither GDI nor OpenGL; the
# same drawing in a window of one's own shows), so what the area shows here
# is only reported. The picture of the scene at the area's size is checked
# inside one process by the app tests; the real Display settings need Windows.
shoot "$work/shot.rgb" || fail "no screenshot"
if result=$(analyse "$work/shot.rgb" "$work/before.rgb" "$ax" "$ay" --drawn); then
  echo "note: the area shows the preview here: $result"
else
  echo "note: the area shows nothing of the preview here, as Wine does across processes: $result"
fi

# The same picture and one taken later: nothing outside the area changes.
result=$(analyse "$work/shot.rgb" "$work/before.rgb" "$ax" "$ay" --outside) ||
  fail "the preview drew outside its area: $result"
frames_go_on 10 || fail "the preview stopped drawing"
shoot "$work/shot.rgb" || fail "no screenshot"
result=$(analyse "$work/shot.rgb" "$work/before.rgb" "$ax" "$ay" --outside) ||
  fail "the preview drew outside its area: $result"
echo "ok: only the area is drawn: $result"

# The host closes its windows when asked; the saver then has to end by
# itself, before the host stops waiting for it.
touch "$work/close"
shown_seconds=$((SECONDS - shown_at))
wait_for $((exit_seconds + 60)) stopped || fail "the host did not end"
wait "$saver_pid"
host_rc=$?
saver_pid=
closed=$(line_of 'host-closed')
exited=$(line_of 'child-exit=')
[[ -n "$closed" ]] || fail "the host never closed its windows (exit code $host_rc)"
said 'child-still-running' && fail "the saver was still running $exit_seconds s after its host closed"
[[ -n "$exited" ]] || fail "the host did not report how the saver ended (exit code $host_rc)"
((exited > closed)) || fail "the saver ended before its host closed"
code=$(tr -d '\r' <"$work/out" | grep -o 'child-exit=-\?[0-9]*' | head -n 1)
[[ "$code" == "child-exit=0" ]] || fail "the saver ended with ${code#child-exit=}, not 0"
[[ $host_rc == 0 ]] || fail "the host's exit code is $host_rc"
echo "ok: the saver ended by itself after its host closed (child-exit=0)"

# What the host found in its area before it closed: the saver's own window,
# of the GUI layer's class, at the area's size.
child=$(tr -d '\r' <"$work/out" | grep -m 1 '^area-child=')
[[ "$child" =~ class=KORVEX_WINDOW_CLASS\ size=152x112\ owner=saver\ visible=1 ]] ||
  fail "the preview area did not hold the saver's window: '$child'"
echo "ok: the saver's window is the area's child at its size ($child)"

# Its windows go with the host's: the screen is as before.
shoot "$work/after.rgb" || fail "no screenshot"
cmp -s "$work/before.rgb" "$work/after.rgb" || fail "the screen is not as before once the saver ended"
echo "ok: nothing left on the screen"

if [[ -n "$parec_pid" ]]; then
  # The recorder writes in its own time: it is stopped once the file covers
  # the whole showing (a busy machine can leave it seconds behind).
  covered() { (( $(stat -c %s "$work/recorded.raw" 2>/dev/null || echo 0) >= shown_seconds * 44100 * 4 )); }
  wait_for 60 covered
  kill "$parec_pid" 2>/dev/null
  wait "$parec_pid" 2>/dev/null
  parec_pid=
  result=$(python3 - "$work/recorded.raw" "$shown_seconds" <<'PY'
import array, sys
data = open(sys.argv[1], "rb").read()
samples = array.array("h", data[: len(data) // 2 * 2])
seconds = len(samples) / 2 / 44100
peak = max((abs(s) for s in samples), default=0)
print(f"{seconds:.1f} s recorded, peak {peak}")
# The recording covers the whole preview; a peak of 64 (-54 dBFS) is well
# below any sound the station plays.
sys.exit(0 if seconds >= int(sys.argv[2]) and peak <= 64 else 1)
PY
  ) || fail "sound at the null sink during the preview, or no recording: $result"
  echo "ok: silent ($result)"
fi
exit 0
