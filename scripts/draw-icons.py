#!/usr/bin/env python3
"""Draws the program's icons as PNG files: the 16 x 16 pictures from the pixel maps below, and
the program's icon in its larger sizes from the shapes below, which trace the same clipboard on
the same 16-unit grid (packaging/pantrovo-importer.svg draws them too).

Run it after changing a map or a shape; the PNG files it writes are kept in the repository.
"""
import pathlib
import struct
import sys
import zlib

COLOURS = {
    ".": None,
    "G": (0, 170, 0), "g": (0, 110, 0),
    "R": (225, 20, 20), "r": (150, 0, 0),
    "B": (30, 60, 170), "b": (10, 30, 100),
    "W": (255, 255, 255), "K": (0, 0, 0),
    "S": (200, 200, 200), "D": (110, 110, 110),
    "Y": (255, 215, 40), "O": (190, 140, 0),
    "N": (140, 80, 20), "n": (205, 150, 70),
    "P": (255, 255, 192),
}

ICONS = {
    "add": """
......gGGg......
......GGGG......
......GGGG......
......GGGG......
......GGGG......
......GGGG......
gGGGGGGGGGGGGGGg
GGGGGGGGGGGGGGGG
GGGGGGGGGGGGGGGG
gGGGGGGGGGGGGGGg
......GGGG......
......GGGG......
......GGGG......
......GGGG......
......GGGG......
......gGGg......
""",
    "delete": """
................
................
................
................
................
................
rRRRRRRRRRRRRRRr
RRRRRRRRRRRRRRRR
RRRRRRRRRRRRRRRR
rRRRRRRRRRRRRRRr
................
................
................
................
................
................
""",
    "save": """
bBBBBBBBBBBBBBb.
BBWWWWWWWWWWWBBb
BBWWWWWWWWWWWBBB
BBWDDDDDDDDDWBBB
BBWWWWWWWWWWWBBB
BBWDDDDDDDDDWBBB
BBWWWWWWWWWWWBBB
BBBBBBBBBBBBBBBB
BBBBBBBBBBBBBBBB
BBBSSSSSSSSSBBBB
BBBSSbbSSSSSBBBB
BBBSSbbSSSSSBBBB
BBBSSbbSSSSSBBBB
BBBSSSSSSSSSBBBB
bBBSSSSSSSSSBBBb
.bBBBBBBBBBBBBb.
""",
    "open": """
................
................
.OOOO...........
OYYYYO..........
OYYYYYOOOOOOOO..
OYYYYYYYYYYYYO..
OYYYOOOOOOOOOOOO
OYYOYYYYYYYYYYYO
OYYOYYYYYYYYYYO.
OYOYYYYYYYYYYYO.
OYOYYYYYYYYYYO..
OOYYYYYYYYYYYO..
OOYYYYYYYYYYO...
OOOOOOOOOOOOO...
................
................
""",
    "pantrovo-importer": """
.....NNNNNN.....
..DDDNnnnnNDDD..
..DPPNNNNNNPPD..
..DPPPPPPPPPPD..
..DPGPPKKKKKPD..
..DPgGPPPPPPPD..
..DPPPPKKKKKPD..
..DPGPPPPPPPPD..
..DPgGPKKKKKPD..
..DPPPPPPPPPPD..
..DPGPPKKKKKPD..
..DPgGPPPPPPPD..
..DPPPPKKKKKPD..
..DPPPPPPPPPPD..
..DDDDDDDDDDDD..
................
""",
}


# The program's icon for the sizes above 16 pixels, drawn in order, each over the ones before:
# rounded rectangles (left, top, width, height, corner radius) and ticks (a line through the
# points, drawn with round ends), in units of the 16 x 16 map.
ICON_SHAPES = [
    ("rect", (2, 1, 12, 14.2, 0.9), (110, 110, 110)),
    ("rect", (2.35, 1.35, 11.3, 13.5, 0.6), (138, 138, 138)),
    ("rect", (3, 2, 10, 12.2, 0.3), (255, 255, 192)),
    ("rect", (4.9, 0.1, 6.2, 2.9, 0.6), (140, 80, 20)),
    ("rect", (5.9, 0.9, 4.2, 1.0, 0.3), (205, 150, 70)),
] + [
    ("rect", (7, top + 0.05, 5, 0.9, 0.2), (0, 0, 0)) for top in (4, 6, 8, 10, 12)
] + [
    ("tick", ([(3.9, top + 0.8), (4.7, top + 1.7), (6.1, top - 0.1)], width), colour)
    for top in (4, 7, 10)
    for width, colour in ((1.25, (0, 110, 0)), (0.75, (0, 170, 0)))
]
ICON_SIZES = (32, 48, 64, 256)
# Samples per pixel along each axis, averaged into the pixel: smooth edges.
SAMPLES = 4


def inside_rect(x, y, shape):
    left, top, width, height, radius = shape
    nearest_x = min(max(x, left + radius), left + width - radius)
    nearest_y = min(max(y, top + radius), top + height - radius)
    return (left <= x <= left + width and top <= y <= top + height
            and (x - nearest_x) ** 2 + (y - nearest_y) ** 2 <= radius ** 2)


def inside_tick(x, y, shape):
    points, width = shape
    for (ax, ay), (bx, by) in zip(points, points[1:]):
        dx, dy = bx - ax, by - ay
        t = min(max(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0), 1)
        if (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= (width / 2) ** 2:
            return True
    return False


def bounds(kind, shape):
    """Left, top, right and bottom of a shape: no sample outside them is tested."""
    if kind == "rect":
        left, top, width, height, _ = shape
        return left, top, left + width, top + height
    points, width = shape
    return (min(x for x, _ in points) - width / 2, min(y for _, y in points) - width / 2,
            max(x for x, _ in points) + width / 2, max(y for _, y in points) + width / 2)


def draw_icon(size):
    """The program's icon as rows of (red, green, blue, alpha) pixels."""
    tests = {"rect": inside_rect, "tick": inside_tick}
    side = size * SAMPLES
    unit = 16 / side
    samples = [None] * (side * side)
    for kind, shape, colour in ICON_SHAPES:
        left, top, right, bottom = bounds(kind, shape)
        for sy in range(max(int(top / unit) - 1, 0), min(int(bottom / unit) + 2, side)):
            y = (sy + 0.5) * unit
            for sx in range(max(int(left / unit) - 1, 0), min(int(right / unit) + 2, side)):
                if tests[kind]((sx + 0.5) * unit, y, shape):
                    samples[sy * side + sx] = colour
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            covered = [samples[(py * SAMPLES + j) * side + px * SAMPLES + i]
                       for j in range(SAMPLES) for i in range(SAMPLES)]
            covered = [c for c in covered if c]
            if not covered:
                row.append((0, 0, 0, 0))
                continue
            row.append(tuple(round(sum(c[k] for c in covered) / len(covered)) for k in range(3))
                       + (round(255 * len(covered) / SAMPLES ** 2),))
        rows.append(row)
    return rows


def encode(rows):
    """A PNG file of rows of (red, green, blue, alpha) pixels."""
    raw = b""
    for row in rows:
        raw += b"\x00"
        for pixel in row:
            raw += bytes(pixel)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def png(rows):
    return encode([[COLOURS[ch] + (255,) if COLOURS[ch] else (0, 0, 0, 0) for ch in row]
                   for row in rows])


def main():
    out = pathlib.Path(__file__).resolve().parent.parent / "src" / "frmImport" / "icons"
    for name, art in ICONS.items():
        rows = art.strip("\n").split("\n")
        if len(rows) != 16 or any(len(r) != 16 for r in rows):
            sys.exit(f"{name}: the map must be 16 x 16")
        (out / f"{name}.png").write_bytes(png(rows))
    for size in ICON_SIZES:
        (out / f"pantrovo-importer-{size}.png").write_bytes(encode(draw_icon(size)))


if __name__ == "__main__":
    main()
