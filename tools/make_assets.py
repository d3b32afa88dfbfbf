#!/usr/bin/env python3
"""Makes the screensaver's embedded PNG images: glowing firework sprites,
stars and rings on transparent backgrounds, the radio bar and the logo line.

usage: make_assets.py OUTPUT_FOLDER
Only the standard library is used: the PNGs are written with zlib + struct.
"""
import math
import os
import struct
import sys
import zlib


def write_png(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a) floats 0..1; written as 8-bit RGBA."""
    with open(path, "wb") as f:
        f.write(png_bytes(width, height, pixel))


def png_bytes(width, height, pixel):
    """The PNG file of pixel(x, y) -> (r, g, b, a), as bytes."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            for c in pixel(x, y):
                rows.append(max(0, min(255, int(c * 255 + 0.5))))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) +
            chunk(b"IEND", b""))


def polar(x, y, w, h):
    dx = (x + 0.5 - w / 2) / (w / 2)
    dy = (y + 0.5 - h / 2) / (h / 2)
    return math.hypot(dx, dy), math.atan2(dy, dx)


def glow(r, width):
    return math.exp(-(r / width) ** 2)


def white_hot(intensity):
    """Additive-looking colour: the core burns white, the rim stays alpha."""
    i = min(1.0, intensity)
    return (1.0, 1.0, 1.0, i)


def sprite(w, h, field):
    return lambda x, y: white_hot(field(*polar(x, y, w, h)))


def starburst(rays, sharpness, halo):
    def field(r, a):
        if r >= 1:
            return 0.0
        ray = abs(math.cos(a * rays / 2)) ** sharpness
        fade = (1 - r) ** 1.5
        return glow(r, 0.12) + ray * fade * 0.9 + glow(r, halo) * 0.35
    return field


def ring(radius, thickness):
    def field(r, a):
        if r >= 1:
            return 0.0
        return math.exp(-((r - radius) / thickness) ** 2) + glow(r, 0.08) * 0.6
    return field


def sparks(count, rings):
    def field(r, a):
        if r >= 1:
            return 0.0
        value = glow(r, 0.1)
        for k in range(1, rings + 1):
            rr = k / (rings + 1)
            dots = abs(math.cos(a * count / 2)) ** 40
            value += math.exp(-((r - rr) / 0.03) ** 2) * dots * (1.1 - rr)
        return value * (1 - r) ** 0.5
    return field


def star(points):
    def field(r, a):
        if r >= 1:
            return 0.0
        edge = 0.35 + 0.45 * abs(math.cos(a * points / 2)) ** 6
        body = max(0.0, 1 - r / edge)
        return body ** 1.2 + glow(r, 0.25) * 0.4
    return field


def bar(x, y):
    v = 1 - abs((y + 0.5) / 32 - 1)
    return (1.0, 1.0, 1.0, v ** 1.5)


def glowline(x, y):
    dx = abs((x + 0.5) / 128 - 1)
    dy = abs((y + 0.5) / 64 - 1)
    line = math.exp(-(dy / 0.06) ** 2) * (1 - dx ** 3)
    halo = math.exp(-(dy / 0.35) ** 2) * (1 - dx) ** 2 * 0.45
    core = glow(math.hypot(dx * 2, dy), 0.3) * 0.8
    return white_hot(line + halo + core)


IMAGES = [
    ("thing2.png", 256, 255, starburst(12, 30, 0.5)),
    ("thing3.png", 256, 256, sparks(16, 4)),
    ("thing4.png", 256, 256, starburst(24, 60, 0.35)),
    ("thing6.png", 255, 256, ring(0.55, 0.07)),
    ("star2.png", 256, 253, star(5)),
    ("circle.png", 268, 269, ring(0.8, 0.05)),
    ("thing5.png", 256, 256, lambda r, a: starburst(8, 12, 0.6)(r, a) + ring(0.7, 0.04)(r, a) * 0.7),
]


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, w, h, field in IMAGES:
        write_png(os.path.join(out, name), w, h, sprite(w, h, field))
    write_png(os.path.join(out, "radiobar.png"), 64, 64, bar)
    write_png(os.path.join(out, "glowline.png"), 256, 128, glowline)


if __name__ == "__main__":
    main()
