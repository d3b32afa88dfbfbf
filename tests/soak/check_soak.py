#!/usr/bin/env python3
"""Checks a soak run of the saver:

    check_soak.py OUTPUT RECORDING RECORDING_START EVENTS EXIT_CODE FDS

OUTPUT holds the saver's "soak" lines (tests/soak/saver_soak.cpp), RECORDING
the null sink's monitor (raw 16-bit stereo at 44.1 kHz) from RECORDING_START
(seconds since the epoch), EVENTS the station's restarts ("restart N TIME"),
FDS the process's open file descriptors ("SECONDS COUNT"; Windows handles
cannot be counted under Wine).
Checked and reported:

  - the saver ran to the end and ended by the key with exit code 0, drawing
    frames all along;
  - resident memory, file descriptors, threads and the live allocated bytes
    at the last sample before the end are within 2 % of their values once
    the run has settled (a minute in, or a quarter of a shorter run); a run
    under ten minutes allows resident memory 5 %;
  - after each restart, sound comes back within 35 s and a title of the new
    round ("Soak Round N") is shown.

Exits 1 with the reasons when a check fails.
"""
import array
import math
import re
import sys

LIMIT = 0.02
SHORT_RUN_RESIDENT_LIMIT = 0.05
SOUND_BACK_SECONDS = 35
WINDOW = 22050  # half a second of stereo frames
LOUD = 0.05     # RMS over full scale; the station's tone plays at 0.5


def samples(output_path):
    found = []
    with open(output_path, "rb") as f:
        for raw in f:
            line = raw.decode("utf-8", "replace").strip()
            m = re.match(r"soak (at|end) t=([\d.]+) frames=(\d+) allocated=(\d+) resident=(\d+) handles=(\d+) "
                         r"threads=(-?\d+) active=(-?\d+) title=(.*)", line)
            if m:
                found.append({"kind": m.group(1), "t": float(m.group(2)), "frames": int(m.group(3)),
                              "allocated": int(m.group(4)), "resident": int(m.group(5)),
                              "handles": int(m.group(6)), "threads": int(m.group(7)),
                              "active": int(m.group(8)), "title": m.group(9)})
    return found


def loud_times(recording_path):
    """Start times (seconds into the recording) of the loud half-seconds."""
    data = array.array("h")
    with open(recording_path, "rb") as f:
        raw = f.read()
    data.frombytes(raw[: len(raw) // 4 * 4])
    times = []
    for w in range(len(data) // 2 // WINDOW):
        chunk = data[w * WINDOW * 2:(w + 1) * WINDOW * 2]
        rms = math.sqrt(sum(x * x for x in chunk[::16]) / max(1, len(chunk) // 16)) / 32768
        if rms > LOUD:
            times.append(w * WINDOW / 44100)
    return times


def main():
    output_path, recording_path, recording_start, events_path, code, fds_path = sys.argv[1:7]
    recording_start, code = float(recording_start), int(code)
    problems = []
    found = samples(output_path)
    at = [s for s in found if s["kind"] == "at"]
    end = [s for s in found if s["kind"] == "end"]
    if code != 0:
        problems.append(f"the saver's exit code is {code}")
    if not at or not end:
        problems.append(f"{len(at)} samples and {len(end)} end lines: the saver did not run to its end")
        for p in problems:
            print("FAIL:", p)
        return 1
    last = at[-1]  # before the end, while the radio still plays
    settle = min(60.0, end[0]["t"] / 4)
    base = next((s for s in at if s["t"] >= settle), at[0])
    with open(fds_path) as f:
        fds = [tuple(int(v) for v in line.split()) for line in f if len(line.split()) == 2]
    base["fds"] = next((n for t, n in fds if t >= base["t"]), 0)
    last["fds"] = fds[-1][1] if fds else 0
    print(f"soak: {end[0]['t']:.0f} s, {end[0]['frames']} frames "
          f"({end[0]['frames'] / max(end[0]['t'], 1):.1f} a second)")
    for key in ("resident", "fds", "threads", "allocated"):
        change = (last[key] - base[key]) / max(base[key], 1)
        print(f"soak {key}: {base[key]} at {base['t']:.0f} s, {last[key]} at the end ({change * 100:+.2f} %)")
        # Within the first minutes the heap still settles (the run's first
        # fireworks, the glyph cache): a short run allows resident memory more.
        limit = LIMIT if key != "resident" or end[0]["t"] >= 600 else SHORT_RUN_RESIDENT_LIMIT
        if abs(change) > limit:
            problems.append(f"{key} changed by {change * 100:+.2f} %")
    stuck = [b for a, b in zip(at, at[1:]) if b["frames"] <= a["frames"]]
    if stuck:
        problems.append(f"no frames drawn between samples at {stuck[0]['t']:.0f} s")

    loud = loud_times(recording_path)
    with open(events_path) as f:
        restarts = [line.split() for line in f if line.startswith("restart")]
    for _, round_number, when in restarts:
        since = float(when) - recording_start
        back = [t for t in loud if t >= since]
        delay = back[0] - since if back else None
        titled = [s for s in at + end if s["title"].startswith(f"Soak Round {round_number} - ")]
        title_at = (titled[0]["t"] if titled else None)
        print(f"soak restart {round_number}: sound back after "
              f"{'%.1f s' % delay if delay is not None else 'never'}; title of the round shown: "
              f"{titled[0]['title'] if titled else 'never'}")
        if delay is None or delay > SOUND_BACK_SECONDS:
            problems.append(f"no sound within {SOUND_BACK_SECONDS} s after restart {round_number}")
        if title_at is None:
            problems.append(f"no title of round {round_number} after its restart")
    for p in problems:
        print("FAIL:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
