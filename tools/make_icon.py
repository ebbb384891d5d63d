#!/usr/bin/env python3
"""Draws the program's icon and writes it as resources/tolvane.ico.

Two desktops side by side with an arrow from one to the other: the picture
says "switch desktops". Edges are anti-aliased by 4x4 supersampling, so the
icon has fully transparent, partly transparent and opaque pixels. The file is
one 32x32 32-bit image with its AND mask, laid out as a Windows icon file.
Run it again only to change the picture; the build reads the .ico.
"""
import struct
import sys
from pathlib import Path

SIZE = 32
SS = 4  # supersampling factor


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def polygon(points):
    def inside(x, y):
        n = len(points)
        hit = False
        j = n - 1
        for i in range(n):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside


# Layers painted bottom to top: (shape, (r, g, b)).
LAYERS = [
    # The desktop on the left, behind, and the one on the right, in front.
    (rounded_rect(1.0, 5.0, 20.0, 21.0, 2.5), (0x3A, 0x5F, 0x8F)),
    (rounded_rect(2.5, 6.5, 18.5, 19.5, 1.5), (0x9C, 0xC3, 0xE8)),
    (rounded_rect(11.0, 11.0, 31.0, 27.0, 2.5), (0x1F, 0x4E, 0x8C)),
    (rounded_rect(12.5, 12.5, 29.5, 25.5, 1.5), (0x4F, 0x9A, 0xE8)),
    # The stands under the front screen.
    (rounded_rect(18.0, 27.0, 24.0, 30.5, 0.8), (0x1F, 0x4E, 0x8C)),
    # A two-headed arrow across the front screen.
    (polygon([(13.5, 19.0), (17.5, 15.0), (17.5, 17.5), (24.0, 17.5), (24.0, 15.0),
              (28.0, 19.0), (24.0, 23.0), (24.0, 20.5), (17.5, 20.5), (17.5, 23.0)]),
     (0xFF, 0xFF, 0xFF)),
]


def render():
    """Gives rows top to bottom of (b, g, r, a) pixels, premultiplication off."""
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied r, g, b and alpha
            for sy in range(SS):
                for sx in range(SS):
                    x = px + (sx + 0.5) / SS
                    y = py + (sy + 0.5) / SS
                    colour = None
                    for shape, rgb in LAYERS:
                        if shape(x, y):
                            colour = rgb
                    if colour is not None:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = SS * SS
            a = acc[3] / n
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                r, g, b = (round(acc[i] / acc[3]) for i in range(3))
                row.append((b, g, r, round(a * 255)))
        rows.append(row)
    return rows


def ico_bytes(rows):
    xor = b"".join(bytes(p) for row in reversed(rows) for p in row)
    mask = bytearray()
    for row in reversed(rows):
        bits = 0
        for x, p in enumerate(row):
            if p[3] == 0:  # transparent where the mask bit is set
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor), 0, 0, 0, 0)
    image = header + xor + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 22)
    return directory + image


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "tolvane.ico"
    data = ico_bytes(render())
    assert len(data) == 4286, len(data)
    out.write_bytes(data)
    print(f"wrote {out} ({len(data)} bytes)")


if __name__ == "__main__":
    main()
