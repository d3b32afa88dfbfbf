#!/usr/bin/env python3
"""Makes the program's icon from the screensaver's own artwork: one of its
firework starbursts, in a tint of the saver, glowing over a night sky with a
few stars, at 16, 24, 32, 48 and 256 pixels.

usage: make_icon.py OUTPUT.ico
The small sizes are 32-bit DIBs (every Windows reads those), the 256-pixel
one a PNG, as icon files hold them. Only the standard library is used.
"""
import math
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_assets  # noqa: E402  (the sprites' drawing)

SIZES = (16, 24, 32, 48, 256)
SKY = (0.02, 0.03, 0.10)
TINT = (1.0, 0.35, 0.85)
STARS = ((0.18, 0.22), (0.80, 0.16), (0.86, 0.74), (0.14, 0.80), (0.62, 0.90))


def icon_pixel(size):
    burst = make_assets.starburst(12, 30, 0.5)

    def pixel(x, y):
        u, v = (x + 0.5) / size, (y + 0.5) / size
        # A rounded square of night sky, clear outside.
        corner = max(0.0, math.hypot(max(0.0, abs(u - 0.5) - 0.32), max(0.0, abs(v - 0.5) - 0.32)) - 0.14)
        inside = 1.0 if corner <= 0 else max(0.0, 1 - corner * size)
        r, a = make_assets.polar(x, y, size, size)
        light = min(1.0, burst(r * 1.15, a) * 1.2)
        twinkle = sum(math.exp(-((u - sx) ** 2 + (v - sy) ** 2) / (2 * (1.2 / size) ** 2)) for sx, sy in STARS)
        colour = [min(1.0, s + light * t + light ** 3 * 0.6 + twinkle * 0.8) for s, t in zip(SKY, TINT)]
        return (*colour, inside)
    return pixel


def dib(size, pixel):
    """A 32-bit BGRA DIB as icons hold it: the rows bottom up, then the AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, size * size * 4, 0, 0, 0, 0)
    rows = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = (max(0, min(255, int(c * 255 + 0.5))) for c in pixel(x, y))
            rows += bytes((b, g, r, a))
    mask = bytes(((size + 31) // 32 * 4) * size)  # all 0: the alpha channel decides
    return header + rows + mask


def main():
    images = []
    for size in SIZES:
        pixel = icon_pixel(size)
        images.append((size, make_assets.png_bytes(size, size, pixel) if size >= 256 else dib(size, pixel)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(data for _, data in images))


if __name__ == "__main__":
    main()
