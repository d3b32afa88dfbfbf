#!/usr/bin/env python3
"""Runs graphics_demo.exe on the harness display, photographs the screen with
ImageMagick's import and checks the colours at chosen points of the picture.

usage: graphics_demo_check.py WINE_RUN DEMO_EXE
"""
import os
import subprocess
import sys
import tempfile
import time

W, H = 1024, 768


def main():
    wine_run, demo = sys.argv[1], sys.argv[2]
    proc = subprocess.Popen([wine_run, demo, "6"], stdout=subprocess.PIPE, text=True)
    origin = None
    for line in proc.stdout:
        line = line.strip()
        print("demo:", line)
        if line.startswith("client "):
            origin = tuple(int(v) for v in line.split()[1:3])
        if line == "ready":
            break
    if origin is None:
        proc.kill()
        print("the demo never showed its window")
        return 1
    time.sleep(0.5)
    with tempfile.TemporaryDirectory() as folder:
        shot = os.path.join(folder, "shot.png")
        raw = os.path.join(folder, "shot.rgb")
        subprocess.run(["import", "-window", "root", shot], check=True)
        subprocess.run(["convert", shot, "-depth", "8", "rgb:" + raw], check=True)
        with open(raw, "rb") as f:
            pixels = f.read()
    proc.stdout.read()
    proc.wait()

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

    def expect(name, x, y, colour, tolerance=3):
        got = at(x, y)
        if any(abs(a - b) > tolerance for a, b in zip(got, colour)):
            failures.append(f"{name} at ({x},{y}): {got}, expected {colour}")

    expect("background", 5, 5, (40, 40, 40))
    expect("band", 25, 75, (100, 100, 100))
    expect("solid", 70, 50, (200, 50, 50))
    expect("alpha", 170, 50, (150, 50, 50))
    expect("light", 270, 50, (200, 200, 100))
    expect("shade", 370, 50, (100, 50, 0))
    expect("mask", 470, 50, (0, 0, 255))
    expect("rect", 50, 150, (0, 255, 0))
    expect("oval", 140, 150, (255, 255, 0))
    expect("oval corner", 102, 122, (40, 40, 40))
    expect("poly", 230, 130, (0, 255, 255))
    expect("line", 320, 150, (255, 255, 255))
    expect("plot", 380, 150, (255, 255, 255))
    expect("pixmap", 570, 130, (255, 0, 255))
    # The image turned by 45 degrees: its red half lies up and left of the centre.
    expect("image red", 460 - 12, 160 - 12, (255, 0, 0), 40)
    expect("image blue", 460 + 12, 160 + 12, (0, 0, 255), 40)
    expect("image outside", 460 + 45, 160, (40, 40, 40))
    if lit_in(20, 240, 116, 256, (255, 255, 255), 10) < 100:
        failures.append("the built-in text is missing")
    if lit_in(604, 240, 620, 296, (255, 255, 255), 10) < 60:
        failures.append("the rotated built-in text is missing")
    if lit_in(620, 240, 640, 300, (255, 255, 255), 10) > 0:
        failures.append("the rotated built-in text runs the wrong way")
    if lit_in(30, 240, 230, 350, (255, 160, 0), 40) < 200:
        failures.append("the TrueType text is missing")
    for f in failures:
        print("FAIL:", f)
    print("checked", "ok" if not failures else f"{len(failures)} failures")
    return 1 if failures or proc.returncode != 0 else 0


if __name__ == "__main__":
    sys.exit(main())
