#!/usr/bin/env python3
"""Makes the runtime's 8x16 bitmap-font resources from a PSF console font.

    psf2rows.py FONT.psf[.gz] OUTPUT...

Every OUTPUT gets the same 1536 bytes: 16 rows of 96 bytes, where byte j of
row i holds row i of character 32 + j, bit k (least significant first) being
pixel column k.

PSF version 1 and 2 fonts are read, compressed with gzip or not. A font's
glyphs are found by code point through its unicode table when it has one,
else glyph n is character n. The font must be 8 pixels wide and 16 high.
Character 127 (delete), which console fonts usually leave unmapped, is blank
when the font has no glyph for it; any other missing character is an error.
"""

import gzip
import struct
import sys

PSF1_MAGIC = b"\x36\x04"
PSF1_MODE512 = 0x01
PSF1_MODEHASTAB = 0x02
PSF1_MODESEQ = 0x04
PSF1_SEPARATOR = 0xFFFF
PSF1_STARTSEQ = 0xFFFE

PSF2_MAGIC = b"\x72\xb5\x4a\x86"
PSF2_HAS_UNICODE_TABLE = 0x01
PSF2_SEPARATOR = 0xFF
PSF2_STARTSEQ = 0xFE

WIDTH = 8
HEIGHT = 16
FIRST_CHAR = 32
CHAR_COUNT = 96


class FontError(Exception):
    pass


class Font:
    def __init__(self, width, height, glyphs, codes):
        self.width = width
        self.height = height
        self.glyphs = glyphs  # list of bytes, one per glyph (rows top to bottom)
        self.codes = codes    # code point -> glyph index, or None without a table


def read_bytes(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] == b"\x1f\x8b":
        data = gzip.decompress(data)
    return data


def split_glyphs(data, offset, count, size):
    end = offset + count * size
    if end > len(data):
        raise FontError("font file ends inside its glyphs")
    return [data[offset + i * size: offset + (i + 1) * size] for i in range(count)], end


def parse_psf1(data):
    if len(data) < 4:
        raise FontError("PSF1 header is truncated")
    mode, charsize = data[2], data[3]
    count = 512 if mode & PSF1_MODE512 else 256
    glyphs, end = split_glyphs(data, 4, count, charsize)
    codes = None
    if mode & (PSF1_MODEHASTAB | PSF1_MODESEQ):
        codes = {}
        at = end
        for index in range(count):
            in_sequence = False
            while True:
                if at + 2 > len(data):
                    raise FontError("PSF1 unicode table is truncated")
                (value,) = struct.unpack_from("<H", data, at)
                at += 2
                if value == PSF1_SEPARATOR:
                    break
                if value == PSF1_STARTSEQ:
                    in_sequence = True  # combining sequences are not single characters
                elif not in_sequence:
                    codes.setdefault(value, index)
    return Font(8, charsize, glyphs, codes)


def parse_psf2(data):
    if len(data) < 32:
        raise FontError("PSF2 header is truncated")
    (_, _, header_size, flags, count, charsize, height, width) = struct.unpack_from("<4sIIIIIII", data, 0)
    if charsize != height * ((width + 7) // 8):
        raise FontError("PSF2 glyph size does not match its width and height")
    glyphs, end = split_glyphs(data, header_size, count, charsize)
    codes = None
    if flags & PSF2_HAS_UNICODE_TABLE:
        codes = {}
        at = end
        for index in range(count):
            entry_end = data.find(bytes([PSF2_SEPARATOR]), at)
            if entry_end < 0:
                raise FontError("PSF2 unicode table is truncated")
            entry = data[at:entry_end]
            at = entry_end + 1
            single = entry.split(bytes([PSF2_STARTSEQ]), 1)[0]
            try:
                text = single.decode("utf-8")
            except UnicodeDecodeError as e:
                raise FontError("PSF2 unicode table entry %d is not UTF-8" % index) from e
            for char in text:
                codes.setdefault(ord(char), index)
    return Font(width, height, glyphs, codes)


def parse_psf(data):
    if data[:4] == PSF2_MAGIC:
        return parse_psf2(data)
    if data[:2] == PSF1_MAGIC:
        return parse_psf1(data)
    raise FontError("not a PSF font")


def glyph_for(font, code):
    if font.codes is None:
        return font.glyphs[code] if code < len(font.glyphs) else None
    index = font.codes.get(code)
    return None if index is None else font.glyphs[index]


def reverse_bits(byte):
    # PSF rows have the leftmost pixel in the most significant bit.
    return int("{:08b}".format(byte)[::-1], 2)


def font_rows(font):
    if font.width != WIDTH or font.height != HEIGHT:
        raise FontError("font is %dx%d, not %dx%d" % (font.width, font.height, WIDTH, HEIGHT))
    out = bytearray(HEIGHT * CHAR_COUNT)
    for j in range(CHAR_COUNT):
        code = FIRST_CHAR + j
        glyph = glyph_for(font, code)
        if glyph is None:
            if code == 127:
                continue
            raise FontError("font has no glyph for character %d" % code)
        for i in range(HEIGHT):
            out[i * CHAR_COUNT + j] = reverse_bits(glyph[i])
    return bytes(out)


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    try:
        rows = font_rows(parse_psf(read_bytes(argv[1])))
    except (OSError, FontError) as e:
        print("psf2rows: %s: %s" % (argv[1], e), file=sys.stderr)
        return 1
    for path in argv[2:]:
        with open(path, "wb") as f:
            f.write(rows)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
