#!/usr/bin/env python3
"""Watches the saver while it plays the radio station, from its output and
from screenshots, until it has seen everything it looks for:

    station_check.py OUTPUT WORKDIR PID LIMIT TITLE...

OUTPUT is the saver's standard output (growing while it runs), PID the
process to watch (the check fails if it ends), LIMIT the most seconds to
watch, TITLE... the station's song titles.  Screenshots are taken one after
another, each noted with the number of output lines just after it was
taken.  Watched for:

  - the "fft=" lines carry non-zero values and some report a loud level;
  - the title bar: the text on it is read with tesseract and must be one of
    the station's titles; every title is read, and a title is seen
    scrolling in (its left edge far right) and later at rest at the left;
  - the centre fireworks: coloured light below the logo's band appears in
    some screenshots, only in those taken soon after the saver reported a
    loud level, and a quiet stretch shows none.

Nothing here depends on how fast the saver draws: the title's scroll and the
fireworks' life are counted in frames, and so is "soon after" (in "fft="
lines, one every second frame).  Exits 0 once everything was seen, 1 with
the reasons when a check fails or the limit passes first.
"""
import os
import subprocess
import sys
import time

W, H = 1024, 768
BAR_TOP, BAR_ROWS = 680, 52      # the bar's band, around y = 708
LOUD = 150                       # the level above which centre fireworks start
# A centre firework lives its 1 s delay plus 101 frames of fading; even at
# the timer's full 62.5 frames a second that is under 81 "fft=" lines.
RECENT_LINES = 120
# Below the logo's glow and above the bar, around the screen's centre.
BOX = (362, 430, 662, 600)


def pixels(path, crop=None, colorspace=None):
    args = ["convert", path]
    if crop:
        args += ["-crop", crop]
    if colorspace:
        args += ["-colorspace", colorspace]
    args += ["-depth", "8", ("gray:-" if colorspace == "gray" else "rgb:-")]
    return subprocess.run(args, capture_output=True, check=True).stdout


def output_lines(output_path):
    with open(output_path, "rb") as f:
        return [raw.decode("latin-1").strip() for raw in f.read().split(b"\n")[:-1]]


def levels(lines):
    """(line number, value, level) of every "fft=" line."""
    found = []
    for number, line in enumerate(lines, 1):
        if line.startswith("fft=") and " y=" in line:
            value, level = line[4:].split(" y=")
            found.append((number, float(value), int(level)))
    return found


def bar_ink(path, ink_png):
    """Marks the pixels much darker than their row's bar colour (the black
    title over the tinted bar) and writes them as black on white to ink_png.
    Returns the number of ink pixels and the leftmost ink column."""
    gray = pixels(path, crop=f"{W}x{BAR_ROWS}+0+{BAR_TOP}", colorspace="gray")
    if len(gray) != W * BAR_ROWS:
        return 0, -1
    ink = bytearray(b"\xff" * (W * BAR_ROWS))
    count, left = 0, W
    for y in range(BAR_ROWS):
        row = gray[y * W:(y + 1) * W]
        bar = sorted(row)[W * 4 // 5]
        if bar < 10:
            continue  # no bar in this row
        for x in range(W):
            if row[x] < bar * 0.6:
                ink[y * W + x] = 0
                count += 1
                left = min(left, x)
    raw = ink_png + ".gray"
    with open(raw, "wb") as f:
        f.write(ink)
    subprocess.run(["convert", "-size", f"{W}x{BAR_ROWS}", "-depth", "8", "gray:" + raw,
                    "-bordercolor", "white", "-border", "20", ink_png], check=True)
    return count, (left if count else -1)


def read_text(ink_png):
    result = subprocess.run(["tesseract", ink_png, "-", "--psm", "7"], capture_output=True)
    return result.stdout.decode("utf-8", "replace").strip()


def fireworks_light(path):
    """Coloured, lit pixels in the box (grey stars do not count)."""
    rgb = pixels(path)
    if len(rgb) != W * H * 3:
        return 0
    x0, y0, x1, y1 = BOX
    lit = 0
    for y in range(y0, y1, 2):
        row = rgb[(y * W + x0) * 3:(y * W + x1) * 3]
        for i in range(0, len(row), 6):
            r, g, b = row[i], row[i + 1], row[i + 2]
            if max(r, g, b) > 40 and not r == g == b:
                lit += 1
    return lit


def alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except OSError:
        return False


class Watch:
    def __init__(self, titles):
        self.titles = titles
        self.seen_titles = set()
        self.scrolling = False
        self.resting = False
        self.with_fireworks = 0
        self.quiet_without = 0
        self.problems = []

    def look(self, index, path, lines, loud_lines, work):
        count, left = bar_ink(path, f"{work}/ink-{index:03d}.png")
        text = read_text(f"{work}/ink-{index:03d}.png") if count else ""
        if text in self.titles:
            self.seen_titles.add(text)
        if count > 150 and left >= 200:
            self.scrolling = True
        # At rest only counts once a title was seen on its way in.
        if self.scrolling and text in self.titles and 8 <= left <= 24:
            self.resting = True
        light = fireworks_light(path)
        recent_loud = any(lines - RECENT_LINES < n <= lines for n in loud_lines)
        if light > 500:
            self.with_fireworks += 1
            if not recent_loud:
                self.problems.append(f"{path}: fireworks with no loud level in the {RECENT_LINES} lines before")
        elif not recent_loud and lines > RECENT_LINES:
            self.quiet_without += 1
        print(f"{path}: title '{text}' ink {count} from x={left}; fireworks light {light}; "
              f"loud level just before: {'yes' if recent_loud else 'no'}", flush=True)

    def missing(self, nonzero, loud_lines):
        wanted = []
        if nonzero == 0:
            wanted.append("every fft= value is 0")
        if not loud_lines:
            wanted.append("no fft= line reports a loud level")
        if len(self.seen_titles) < len(self.titles):
            wanted.append(f"titles not read on the bar: {sorted(set(self.titles) - self.seen_titles)}")
        if not self.scrolling:
            wanted.append("no title was seen scrolling in from the right")
        if not self.resting:
            wanted.append("no title was seen at rest at the left after scrolling in")
        if self.with_fireworks < 2:
            wanted.append("centre fireworks appeared in fewer than two screenshots")
        if self.quiet_without < 1:
            wanted.append("no quiet stretch without fireworks was seen")
        return wanted


def main():
    output_path, work, pid, limit = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
    watch = Watch(sys.argv[5:])
    os.makedirs(f"{work}/shots", exist_ok=True)
    deadline = time.monotonic() + limit
    index = 0
    while True:
        if not alive(pid):
            print("FAIL: the saver ended while playing")
            return 1
        path = f"{work}/shots/shot-{index:03d}.png"
        if subprocess.run(["import", "-window", "root", path]).returncode != 0:
            print("FAIL: no screenshot")
            return 1
        # Counted after the shot: the frame it shows came no later.
        output = output_lines(output_path)
        lines = len(output)
        found = levels(output)
        loud_lines = [number for number, _, level in found if level > LOUD]
        watch.look(index, path, lines, loud_lines, work)
        index += 1
        nonzero = sum(1 for _, value, _ in found if value > 0)
        wanted = watch.missing(nonzero, loud_lines)
        if watch.problems or not wanted or time.monotonic() > deadline:
            break
    print(f"fft lines {len(found)}, non-zero {nonzero}, loud (level > {LOUD}) {len(loud_lines)}")
    print(f"titles read: {sorted(watch.seen_titles)}; scrolling seen: {watch.scrolling}, "
          f"at rest seen: {watch.resting}")
    print(f"shots {index}, with centre fireworks {watch.with_fireworks}, "
          f"quiet shots without them {watch.quiet_without}")
    problems = watch.problems + wanted
    if wanted:
        problems.append(f"still missing after {limit:.0f} s")
    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
