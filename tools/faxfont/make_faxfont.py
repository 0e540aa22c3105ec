#!/usr/bin/env python3
"""Generates the built-in fax font resource (16384 bytes) from the misc-fixed
bitmap fonts of Debian's xfonts-base package (installed by scripts/setup).

Layout of the resource:
  bytes     0 ..  4095  small font:    256 glyphs x 16 bytes (8 rows of 2 bytes)
  bytes  4096 .. 16383  standard font: 256 glyphs x 48 bytes (16 rows of 3 bytes)
Each glyph row is a raster row, most significant bit leftmost, 1 = black. The
converter uses the first 12 (small) or 20 (standard) bits of a row.

Glyph index = the Windows-1252 byte of the character. Fax pixels are about
twice as tall as wide at standard resolution, so each source pixel becomes two
pixels side by side: the 9x15 font fills a 18 x 15 area of the 20 x 16
standard cell, the 5x8 font a 10 x 8 area of the 12 x 8 small cell.

Usage: make_faxfont.py OUT [--fonts DIR]
The output depends only on the two font files, so running it again gives the
same bytes (tests/images checks that against data/faxfont/faxfont.bin).
"""
import argparse
import gzip
import struct
import sys

PCF_METRICS = 1 << 2
PCF_BITMAPS = 1 << 3
PCF_BDF_ENCODINGS = 1 << 5
PCF_ACCELERATORS = 1 << 1
PCF_BDF_ACCELERATORS = 1 << 8
PCF_COMPRESSED_METRICS = 0x100
PCF_BYTE_MASK = 1 << 2  # most significant byte first
PCF_BIT_MASK = 1 << 3   # most significant bit first


class Pcf:
    def __init__(self, data):
        if data[:4] != b"\x01fcp":
            raise ValueError("not a PCF font")
        (count,) = struct.unpack_from("<i", data, 4)
        self.data = data
        self.tables = {}
        for i in range(count):
            ttype, fmt, size, offset = struct.unpack_from("<iiii", data, 8 + 16 * i)
            self.tables[ttype] = (fmt, size, offset)
        self._read_metrics()
        self._read_bitmaps()
        self._read_encodings()
        self._read_accelerators()

    def _table(self, ttype):
        fmt, size, offset = self.tables[ttype]
        (fmt2,) = struct.unpack_from("<i", self.data, offset)
        endian = ">" if fmt2 & PCF_BYTE_MASK else "<"
        return fmt2, endian, offset + 4

    def _read_metrics(self):
        fmt, e, pos = self._table(PCF_METRICS)
        self.metrics = []
        if fmt & PCF_COMPRESSED_METRICS:
            (n,) = struct.unpack_from(e + "h", self.data, pos)
            pos += 2
            for i in range(n):
                lsb, rsb, width, asc, desc = (b - 0x80 for b in self.data[pos:pos + 5])
                self.metrics.append((lsb, rsb, width, asc, desc))
                pos += 5
        else:
            (n,) = struct.unpack_from(e + "i", self.data, pos)
            pos += 4
            for i in range(n):
                lsb, rsb, width, asc, desc, _ = struct.unpack_from(e + "hhhhhH", self.data, pos)
                self.metrics.append((lsb, rsb, width, asc, desc))
                pos += 12

    def _read_bitmaps(self):
        fmt, e, pos = self._table(PCF_BITMAPS)
        (n,) = struct.unpack_from(e + "i", self.data, pos)
        pos += 4
        self.offsets = struct.unpack_from(e + "%di" % n, self.data, pos)
        pos += 4 * n
        sizes = struct.unpack_from(e + "4i", self.data, pos)
        pos += 16
        self.pad = 1 << (fmt & 3)
        self.unit = 1 << ((fmt >> 4) & 3)
        self.msb_byte = bool(fmt & PCF_BYTE_MASK)
        self.msb_bit = bool(fmt & PCF_BIT_MASK)
        self.bits = self.data[pos:pos + sizes[fmt & 3]]

    def _read_encodings(self):
        fmt, e, pos = self._table(PCF_BDF_ENCODINGS)
        min2, max2, min1, max1, default = struct.unpack_from(e + "5h", self.data, pos)
        pos += 10
        n = (max2 - min2 + 1) * (max1 - min1 + 1)
        self.enc = (min2, max2, min1, max1)
        self.glyph_index = struct.unpack_from(e + "%dH" % n, self.data, pos)

    def _read_accelerators(self):
        ttype = PCF_BDF_ACCELERATORS if PCF_BDF_ACCELERATORS in self.tables else PCF_ACCELERATORS
        fmt, e, pos = self._table(ttype)
        self.ascent, self.descent = struct.unpack_from(e + "ii", self.data, pos + 8)

    def glyph(self, code):
        """Rows of the glyph for a Unicode code point as lists of 0/1, aligned
        to the font's ascent, or None when the font has none."""
        min2, max2, min1, max1 = self.enc
        b1, b2 = code >> 8, code & 0xFF
        if not (min1 <= b1 <= max1 and min2 <= b2 <= max2):
            return None
        index = self.glyph_index[(b1 - min1) * (max2 - min2 + 1) + (b2 - min2)]
        if index == 0xFFFF:
            return None
        lsb, rsb, width, asc, desc = self.metrics[index]
        w = rsb - lsb
        rowbytes = ((w + 7) // 8 + self.pad - 1) // self.pad * self.pad
        start = self.offsets[index]
        height = self.ascent + self.descent
        rows = [[0] * width for _ in range(height)]
        for r in range(asc + desc):
            y = self.ascent - asc + r
            raw = bytearray(self.bits[start + r * rowbytes:start + (r + 1) * rowbytes])
            if self.unit > 1 and self.msb_byte != self.msb_bit:
                for k in range(0, len(raw), self.unit):
                    raw[k:k + self.unit] = raw[k:k + self.unit][::-1]
            for x in range(w):
                byte = raw[x // 8]
                bit = (byte >> (7 - x % 8)) & 1 if self.msb_bit else (byte >> (x % 8)) & 1
                px = lsb + x
                if bit and 0 <= y < height and 0 <= px < width:
                    rows[y][px] = 1
        return rows


def cp1252_char(byte):
    """The Unicode code point of a Windows-1252 byte; None for control codes
    and the five bytes the code page leaves undefined."""
    if byte < 0x20 or byte == 0x7F:
        return None
    try:
        return ord(bytes([byte]).decode("cp1252"))
    except UnicodeDecodeError:
        return None


def render(font, cell_width, cell_rows, row_bytes, x0, y0):
    out = bytearray()
    for byte in range(256):
        code = cp1252_char(byte)
        rows = font.glyph(code) if code is not None else None
        cell = [[0] * (row_bytes * 8) for _ in range(cell_rows)]
        if rows:
            for y, row in enumerate(rows):
                for x, bit in enumerate(row):
                    cx, cy = x0 + 2 * x, y0 + y
                    if bit and cy < cell_rows and cx + 1 < cell_width:
                        cell[cy][cx] = cell[cy][cx + 1] = 1
        for row in cell:
            for k in range(row_bytes):
                v = 0
                for bit in row[8 * k:8 * k + 8]:
                    v = (v << 1) | bit
                out.append(v)
    return bytes(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("out")
    ap.add_argument("--fonts", default="/usr/share/fonts/X11/misc")
    args = ap.parse_args()
    try:
        small = Pcf(gzip.open(args.fonts + "/5x8.pcf.gz").read())
        standard = Pcf(gzip.open(args.fonts + "/9x15.pcf.gz").read())
    except OSError as err:
        sys.exit("make_faxfont: %s (scripts/setup installs xfonts-base)" % err)
    data = render(small, 12, 8, 2, 1, 0) + render(standard, 20, 16, 3, 1, 1)
    assert len(data) == 16384
    with open(args.out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
