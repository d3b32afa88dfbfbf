#!/usr/bin/env python3
"""Checks what the saver made of the radio station, from its output and from
screenshots taken while it played:

    station_check.py OUTPUT SHOTS WORKDIR TITLE...

OUTPUT is the saver's standard output; SHOTS lists one screenshot per line as
"PATH LINES", LINES being how many output lines there were when it was taken;
TITLE... are the station's song titles.  Checked:

  - the "fft=" lines carry non-zero values and some report a loud level;
  - the title bar: the text on it is read with tesseract and must be one of
    the station's titles, at least two different ones over the run, and a
    title is seen scrolling in (its left edge far right) and at rest at the
    left;
  - the centre fireworks: coloured light below the logo's band appears in
    some screenshots, and only in those taken within a few seconds after the
    saver reported a loud level.

Exits 1 with the reasons when a check fails.
"""
import subprocess
import sys

W, H = 1024, 768
BAR_TOP, BAR_ROWS = 680, 52      # the bar's band, around y = 708
LOUD = 150                       # the level above which centre fireworks start
RECENT_LINES = 120               # 4 s of "fft=" lines: longer than a firework lives
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


def levels(output_path):
    """(line number, value, level) of every "fft=" line."""
    found = []
    with open(output_path, "rb") as f:
        for number, raw in enumerate(f, 1):
            line = raw.decode("latin-1").strip()
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


def main():
    output_path, shots_path, work = sys.argv[1:4]
    titles = sys.argv[4:]
    problems = []

    found = levels(output_path)
    nonzero = sum(1 for _, value, _ in found if value > 0)
    loud_lines = [number for number, _, level in found if level > LOUD]
    print(f"fft lines {len(found)}, non-zero {nonzero}, loud (level > {LOUD}) {len(loud_lines)}")
    if nonzero == 0:
        problems.append("every fft= value is 0")
    if not loud_lines:
        problems.append("no fft= line reports a loud level")

    seen_titles = set()
    scrolling = resting = False
    with_fireworks = quiet_without = 0
    with open(shots_path) as f:
        shots = [line.split() for line in f if line.strip()]
    for index, (path, lines) in enumerate(shots):
        lines = int(lines)
        count, left = bar_ink(path, f"{work}/ink-{index:02d}.png")
        text = read_text(f"{work}/ink-{index:02d}.png") if count else ""
        if text in titles:
            seen_titles.add(text)
        if count > 150 and left >= 200:
            scrolling = True
        if text in titles and 8 <= left <= 24:
            resting = True
        light = fireworks_light(path)
        recent_loud = any(lines - RECENT_LINES < n <= lines for n in loud_lines)
        if light > 500:
            with_fireworks += 1
            if not recent_loud:
                problems.append(f"{path}: fireworks with no loud level in the {RECENT_LINES} lines before")
        elif not recent_loud and lines > RECENT_LINES:
            quiet_without += 1
        print(f"{path}: title '{text}' ink {count} from x={left}; fireworks light {light}; "
              f"loud level just before: {'yes' if recent_loud else 'no'}")

    print(f"titles read: {sorted(seen_titles)}; scrolling seen: {scrolling}, at rest seen: {resting}")
    print(f"shots with centre fireworks {with_fireworks}, quiet shots without them {quiet_without}")
    if len(seen_titles) < 2:
        problems.append("fewer than two of the station's titles were read on the bar")
    if not scrolling:
        problems.append("no title was seen scrolling in from the right")
    if not resting:
        problems.append("no title was seen at rest at the left")
    if with_fireworks < 2:
        problems.append("centre fireworks appeared in fewer than two screenshots")
    if quiet_without < 1:
        problems.append("no quiet stretch without fireworks was seen")
    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
