#!/usr/bin/env python3
"""Draws the Vesklar logo and writes it as a multi-size Windows icon.

The logo is a rounded square with a purple-to-teal diagonal gradient and a
white play triangle. Small sizes are stored as 32-bit BMP images (read by
every Windows version), 256 x 256 as PNG, as Windows expects for that size.
Only the standard library is used, and the output is byte-for-byte
reproducible, so the committed Vesklar.ico can always be regenerated:

    python3 resources/make_icon.py resources/Vesklar.ico
"""
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
PNG_FROM = 256          # this size and above are stored as PNG
SUPERSAMPLE = 4         # samples per pixel edge, for smooth edges

PURPLE = (0x6D, 0x3F, 0xD6)
TEAL = (0x14, 0xB8, 0xA6)
WHITE = (0xFF, 0xFF, 0xFF)


def inside_rounded_square(x, y, margin, radius):
    """True when (x, y), in units of the icon side, lies in the tile."""
    lo, hi = margin, 1.0 - margin
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_triangle(x, y):
    """The play triangle, pointing right, optically centred."""
    ax, ay = 0.38, 0.28
    bx, by = 0.38, 0.72
    cx, cy = 0.74, 0.50

    def side(px, py, qx, qy):
        return (qx - px) * (y - py) - (qy - py) * (x - px)

    d1 = side(ax, ay, bx, by)
    d2 = side(bx, by, cx, cy)
    d3 = side(cx, cy, ax, ay)
    return (d1 <= 0 and d2 <= 0 and d3 <= 0) or (d1 >= 0 and d2 >= 0 and d3 >= 0)


def render(size):
    """Rows of (r, g, b, a) pixels, top row first."""
    margin = 0.5 / size if size < 32 else 0.04
    radius = 0.22
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            tile = tri = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    if inside_rounded_square(x, y, margin, radius):
                        tile += 1
                        if inside_triangle(x, y):
                            tri += 1
            if tile == 0:
                row.append((0, 0, 0, 0))
                continue
            t = (px + py) / (2.0 * (size - 1)) if size > 1 else 0.0
            base = [PURPLE[i] + (TEAL[i] - PURPLE[i]) * t for i in range(3)]
            mix = tri / tile
            rgb = [round(base[i] + (WHITE[i] - base[i]) * mix) for i in range(3)]
            row.append((rgb[0], rgb[1], rgb[2], round(255 * tile / (n * n))))
        rows.append(row)
    return rows


def png_bytes(rows):
    size = len(rows)
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp_bytes(rows):
    size = len(rows)
    # BITMAPINFOHEADER: the height counts the colour image and the AND mask.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def ico_bytes(sizes):
    images = []
    for size in sizes:
        rows = render(size)
        images.append((size, png_bytes(rows) if size >= PNG_FROM else bmp_bytes(rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        edge = 0 if size >= 256 else size  # 0 means 256 in the directory
        out += struct.pack("<BBBBHHII", edge, edge, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else "Vesklar.ico"
    with open(target, "wb") as f:
        f.write(ico_bytes(SIZES))


if __name__ == "__main__":
    main()
