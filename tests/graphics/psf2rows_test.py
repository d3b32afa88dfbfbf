#!/usr/bin/env python3
"""Checks tools/psf2rows.py on PSF fonts written here: both PSF versions,
with and without a unicode table, compressed or not, and bad fonts.

    psf2rows_test.py PATH/TO/psf2rows.py
"""

import gzip
import os
import struct
import subprocess
import sys
import tempfile
import unittest

TOOL = None


def glyph(index):
    """16 distinct rows per glyph; row 0 holds the index, leftmost pixel in the top bit."""
    rows = bytearray(16)
    rows[0] = index & 0xFF
    rows[1] = 0x80            # leftmost pixel only
    rows[2] = 0x01            # rightmost pixel only
    rows[15] = (index * 7) & 0xFF
    return bytes(rows)


def reverse(byte):
    return int("{:08b}".format(byte)[::-1], 2)


def psf1(count=256, table=None, charsize=16):
    mode = (0x01 if count == 512 else 0) | (0x02 if table is not None else 0)
    data = bytearray(b"\x36\x04" + bytes([mode, charsize]))
    for i in range(count):
        data += glyph(i)[:charsize] + bytes(max(0, charsize - 16))
    if table is not None:
        for i in range(count):
            for code in table.get(i, []):
                if isinstance(code, tuple):  # a combining sequence
                    data += struct.pack("<H", 0xFFFE)
                    for c in code:
                        data += struct.pack("<H", c)
                else:
                    data += struct.pack("<H", code)
            data += struct.pack("<H", 0xFFFF)
    return bytes(data)


def psf2(count=256, table=None, width=8, height=16):
    charsize = height * ((width + 7) // 8)
    header = struct.pack("<4sIIIIIII", b"\x72\xb5\x4a\x86", 0, 32, 1 if table is not None else 0,
                         count, charsize, height, width)
    data = bytearray(header)
    for i in range(count):
        data += (glyph(i) * 2)[:charsize]
    if table is not None:
        for i in range(count):
            for code in table.get(i, []):
                if isinstance(code, tuple):
                    data += b"\xfe" + "".join(chr(c) for c in code).encode("utf-8")
                else:
                    data += chr(code).encode("utf-8")
            data += b"\xff"
    return bytes(data)


class Psf2Rows(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.folder.cleanup()

    def run_tool(self, font_bytes, name="font.psf", outputs=1):
        font = os.path.join(self.folder.name, name)
        with open(font, "wb") as f:
            f.write(font_bytes)
        outs = [os.path.join(self.folder.name, "out%d.bin" % i) for i in range(outputs)]
        result = subprocess.run([sys.executable, TOOL, font] + outs, capture_output=True, text=True)
        data = []
        if result.returncode == 0:
            for out in outs:
                with open(out, "rb") as f:
                    data.append(f.read())
        return result, data

    def assert_char_is_glyph(self, rows, char, index):
        j = char - 32
        self.assertEqual(rows[0 * 96 + j], reverse(index & 0xFF), "char %d row 0" % char)
        self.assertEqual(rows[1 * 96 + j], 0x01, "leftmost pixel is bit 0")
        self.assertEqual(rows[2 * 96 + j], 0x80, "rightmost pixel is bit 7")
        self.assertEqual(rows[15 * 96 + j], reverse((index * 7) & 0xFF), "char %d row 15" % char)

    def test_psf1_without_table_maps_glyph_n_to_character_n(self):
        result, (rows,) = self.run_tool(psf1())
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(rows), 1536)
        for char in (32, 33, 65, 95, 126, 127):
            self.assert_char_is_glyph(rows, char, char)

    def test_psf1_table_decides_which_glyph_a_character_gets(self):
        # Glyphs in reverse order: glyph 255 - c is character c; glyph 0 has '!' only
        # inside a combining sequence, which must not count.
        table = {255 - c: [c] for c in range(32, 127)}
        table[0] = [(ord("!"), 0x301)]
        result, (rows,) = self.run_tool(gzip.compress(psf1(table=table)), name="font.psf.gz")
        self.assertEqual(result.returncode, 0, result.stderr)
        for char in (32, 33, 65, 95, 126):
            self.assert_char_is_glyph(rows, char, 255 - char)
        self.assertEqual(rows[0 * 96 + 95], 0, "unmapped 127 is blank")

    def test_psf1_with_512_glyphs_and_first_mapping_wins(self):
        table = {300 + c: [c] for c in range(32, 127)}
        table[450] = [ord("A")]  # a second glyph for 'A' comes later and loses
        result, (rows,) = self.run_tool(psf1(count=512, table=table))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_char_is_glyph(rows, ord("A"), 300 + ord("A"))

    def test_psf2_with_and_without_table(self):
        result, (rows,) = self.run_tool(psf2())
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_char_is_glyph(rows, ord("Z"), ord("Z"))
        table = {10 + c: [c, 0x2500 + c] for c in range(32, 128)}
        table[5] = [(ord("x"), 0x308)]
        result, (rows,) = self.run_tool(gzip.compress(psf2(count=300, table=table)), name="f.psfu.gz")
        self.assertEqual(result.returncode, 0, result.stderr)
        for char in (32, ord("x"), 127):
            self.assert_char_is_glyph(rows, char, 10 + char)

    def test_every_output_gets_the_same_bytes(self):
        result, data = self.run_tool(psf1(), outputs=2)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(data[0], data[1])

    def test_bad_fonts_are_refused(self):
        cases = {
            "not a font": b"hello, this is not a font at all",
            "8x14 font": psf1(charsize=14),
            "16 pixels wide": psf2(width=16),
            "truncated glyphs": psf1()[:1000],
            "truncated table": psf1(table={c: [c] for c in range(256)})[:-3],
            "missing letter": psf1(table={c: [c] for c in range(256) if c != ord("q")}),
        }
        for what, font in cases.items():
            result, _ = self.run_tool(font)
            self.assertEqual(result.returncode, 1, what)
            self.assertIn("psf2rows:", result.stderr, what)


if __name__ == "__main__":
    TOOL = sys.argv.pop(1)
    unittest.main()
