#!/usr/bin/env python3
"""Draws the program's 16 x 16 icons as PNG files from the pixel maps below.

Run it after changing a map; the PNG files it writes are kept in the repository.
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


def png(rows):
    raw = b""
    for row in rows:
        raw += b"\x00"
        for ch in row:
            colour = COLOURS[ch]
            raw += bytes(colour + (255,)) if colour else b"\x00\x00\x00\x00"

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", 16, 16, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out = pathlib.Path(__file__).resolve().parent.parent / "src" / "frmImport" / "icons"
    for name, art in ICONS.items():
        rows = art.strip("\n").split("\n")
        if len(rows) != 16 or any(len(r) != 16 for r in rows):
            sys.exit(f"{name}: the map must be 16 x 16")
        (out / f"{name}.png").write_bytes(png(rows))


if __name__ == "__main__":
    main()
