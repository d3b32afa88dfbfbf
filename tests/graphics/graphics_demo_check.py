#!/usr/bin/env python3
"""Runs graphics_demo.exe on the harness display, photographs the screen with
ImageMagick's import and checks the colours at chosen points of the picture.

The demo draws until it is told to stop (a stop file). Screenshots are taken
until a few landmarks spread over the picture show it complete (or a generous
limit passes); every point is then checked on that screenshot.

usage: graphics_demo_check.py WINE_RUN DEMO_EXE
"""
import os
import subprocess
import sys
import tempfile
import time

W, H = 1024, 768
LIMIT = 60  # seconds for the picture to appear and for the demo to end

# name, x, y, colour, tolerance
POINTS = [
    ("background", 5, 5, (40, 40, 40), 3),
    ("band", 25, 75, (100, 100, 100), 3),
    ("solid", 70, 50, (200, 50, 50), 3),
    ("alpha", 170, 50, (150, 50, 50), 3),
    ("light", 270, 50, (200, 200, 100), 3),
    ("shade", 370, 50, (100, 50, 0), 3),
    ("mask", 470, 50, (0, 0, 255), 3),
    ("rect", 50, 150, (0, 255, 0), 3),
    ("oval", 140, 150, (255, 255, 0), 3),
    ("oval corner", 102, 122, (40, 40, 40), 3),
    ("poly", 230, 130, (0, 255, 255), 3),
    ("line", 320, 150, (255, 255, 255), 3),
    ("plot", 380, 150, (255, 255, 255), 3),
    ("pixmap", 570, 130, (255, 0, 255), 3),
    # The image turned by 45 degrees: its red half lies up and left of the centre.
    ("image red", 460 - 12, 160 - 12, (255, 0, 0), 40),
    ("image blue", 460 + 12, 160 + 12, (0, 0, 255), 40),
    ("image outside", 460 + 45, 160, (40, 40, 40), 3),
    ("bottom right", 630, 470, (40, 40, 40), 3),
]
# Top, middle and bottom of the picture: all there means a whole frame is shown.
LANDMARKS = ("background", "band", "pixmap", "bottom right")


def screenshot(folder):
    shot = os.path.join(folder, "shot.png")
    raw = os.path.join(folder, "shot.rgb")
    subprocess.run(["import", "-window", "root", shot], check=True)
    subprocess.run(["convert", shot, "-depth", "8", "rgb:" + raw], check=True)
    with open(raw, "rb") as f:
        return f.read()


def failures_of(pixels, origin, names=None):
    def at(x, y):
        i = ((origin[1] + y) * W + origin[0] + x) * 3
        return tuple(pixels[i:i + 3])

    def lit_in(x0, y0, x1, y1, colour, tolerance=60):
        n = 0
        for y in range(y0, y1):
            for x in range(x0, x1):
                if all(abs(a - b) <= tolerance for a, b in zip(at(x, y), colour)):
                    n += 1
        return n

    failures = []
    for name, x, y, colour, tolerance in POINTS:
        if names is not None and name not in names:
            continue
        got = at(x, y)
        if any(abs(a - b) > tolerance for a, b in zip(got, colour)):
            failures.append(f"{name} at ({x},{y}): {got}, expected {colour}")
    if names is not None:
        return failures
    if lit_in(20, 240, 116, 256, (255, 255, 255), 10) < 100:
        failures.append("the built-in text is missing")
    if lit_in(604, 240, 620, 296, (255, 255, 255), 10) < 60:
        failures.append("the rotated built-in text is missing")
    if lit_in(620, 240, 640, 300, (255, 255, 255), 10) > 0:
        failures.append("the rotated built-in text runs the wrong way")
    if lit_in(30, 240, 230, 350, (255, 160, 0), 40) < 200:
        failures.append("the TrueType text is missing")
    return failures


def main():
    wine_run, demo = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as folder:
        stop = os.path.join(folder, "stop")
        proc = subprocess.Popen([wine_run, demo, "Z:" + stop.replace("/", "\\")], stdout=subprocess.PIPE,
                                text=True)
        try:
            return check(proc, folder, stop)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()


def check(proc, folder, stop):
    origin = None
    ready = False
    for line in proc.stdout:
        line = line.strip()
        print("demo:", line)
        if line.startswith("client "):
            origin = tuple(int(v) for v in line.split()[1:3])
        if line == "ready":
            ready = True
            break
    if origin is None or not ready:
        print("the demo never showed its picture")
        return 1
    deadline = time.monotonic() + LIMIT
    while True:
        pixels = screenshot(folder)
        if not failures_of(pixels, origin, LANDMARKS) or time.monotonic() > deadline:
            break
        time.sleep(0.2)
    failures = failures_of(pixels, origin)
    open(stop, "w").close()
    try:
        proc.wait(timeout=LIMIT)
        for line in proc.stdout:
            print("demo:", line.strip())
        if proc.returncode != 0:
            failures.append(f"the demo ended with {proc.returncode}")
    except subprocess.TimeoutExpired:
        failures.append("the demo did not stop when told to")
    for f in failures:
        print("FAIL:", f)
    print("checked", "ok" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
