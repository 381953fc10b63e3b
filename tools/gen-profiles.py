#!/usr/bin/env python3
"""Writes a synthetic device profile database, or a small vendor icon.

    gen-profiles.py DIR [--vendors N] [--devices N] [--defines N]
                        [--definitions N] [--runtimes N] [--seed N]
    gen-profiles.py icon LETTER RRGGBB OUT.png

DIR becomes a database root as ROOT/profiles/vendors holds it:
definitions.txt, one directory per vendor with icon.png, one directory per
device with runtime.txt and profile.h. The same arguments always give the
same files. --devices is per vendor, --defines per device (each device gets
that many KV_PROF_ lines, drawn without repetition from the definitions).
Standard library only.
"""

import argparse
import os
import random
import struct
import sys
import zlib

# 5x7 capitals for the icons, one string of five bits per row.
FONT = {
    "A": "01110 10001 10001 11111 10001 10001 10001",
    "B": "11110 10001 10001 11110 10001 10001 11110",
    "C": "01110 10001 10000 10000 10000 10001 01110",
    "D": "11110 10001 10001 10001 10001 10001 11110",
    "E": "11111 10000 10000 11110 10000 10000 11111",
    "F": "11111 10000 10000 11110 10000 10000 10000",
    "G": "01110 10001 10000 10111 10001 10001 01111",
    "H": "10001 10001 10001 11111 10001 10001 10001",
    "I": "01110 00100 00100 00100 00100 00100 01110",
    "J": "00111 00010 00010 00010 00010 10010 01100",
    "K": "10001 10010 10100 11000 10100 10010 10001",
    "L": "10000 10000 10000 10000 10000 10000 11111",
    "M": "10001 11011 10101 10101 10001 10001 10001",
    "N": "10001 11001 10101 10011 10001 10001 10001",
    "O": "01110 10001 10001 10001 10001 10001 01110",
    "P": "11110 10001 10001 11110 10000 10000 10000",
    "Q": "01110 10001 10001 10001 10101 10010 01101",
    "R": "11110 10001 10001 11110 10100 10010 10001",
    "S": "01111 10000 10000 01110 00001 00001 11110",
    "T": "11111 00100 00100 00100 00100 00100 00100",
    "U": "10001 10001 10001 10001 10001 10001 01110",
    "V": "10001 10001 10001 10001 10001 01010 00100",
    "W": "10001 10001 10001 10101 10101 10101 01010",
    "X": "10001 10001 01010 00100 01010 10001 10001",
    "Y": "10001 10001 01010 00100 00100 00100 00100",
    "Z": "11111 00001 00010 00100 01000 10000 11111",
}

SIZE = 32
SCALE = 3


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def icon_png(letter, colour):
    """A 32x32 RGBA PNG: a rounded square in `colour` with a white capital."""
    glyph = FONT.get(letter.upper(), FONT["X"]).split()
    red, green, blue = colour
    left = (SIZE - 5 * SCALE) // 2
    top = (SIZE - 7 * SCALE) // 2
    radius = 6
    rows = []
    for y in range(SIZE):
        row = bytearray([0])  # filter type: none
        for x in range(SIZE):
            # Distance outside the rounded corners decides transparency.
            cx = min(max(x, radius), SIZE - 1 - radius)
            cy = min(max(y, radius), SIZE - 1 - radius)
            inside = (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
            gx, gy = (x - left) // SCALE, (y - top) // SCALE
            ink = 0 <= gx < 5 and 0 <= gy < 7 and x >= left and y >= top and glyph[gy][gx] == "1"
            if not inside:
                row += bytes((0, 0, 0, 0))
            elif ink:
                row += bytes((255, 255, 255, 255))
            else:
                row += bytes((red, green, blue, 255))
        rows.append(bytes(row))
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + png_chunk(b"IEND", b""))


def write(path, data):
    mode = "wb" if isinstance(data, bytes) else "w"
    kwargs = {} if mode == "wb" else {"newline": "\n", "encoding": "ascii"}
    with open(path, mode, **kwargs) as out:
        out.write(data)


def make_definitions(count, rng):
    """(macro, display) pairs; the two screen-size constants come first."""
    defs = [("KV_PROF_CONST_SCREENSIZE_X", "ScreenSize/X,pixels"),
            ("KV_PROF_CONST_SCREENSIZE_Y", "ScreenSize/Y,pixels")]
    kinds = ["SUPPORT"] * 9 + ["BUG"] * 3 + ["CONST"] * 8
    serial = 0
    while len(defs) < count:
        serial += 1
        kind = rng.choice(kinds)
        if kind == "SUPPORT":
            defs.append(("KV_PROF_SUPPORT_F%04d" % serial, "Feature/Group %d/Item %04d" % (serial % 17, serial)))
        elif kind == "BUG":
            defs.append(("KV_PROF_BUG_B%04d" % serial, "Bug/Problem %04d" % serial))
        else:
            defs.append(("KV_PROF_CONST_C%04d" % serial, "Constant/Value %04d,kb" % serial))
    return defs[:count]


def generate(args):
    rng = random.Random(args.seed)
    root = args.directory
    os.makedirs(root, exist_ok=True)
    defs = make_definitions(args.definitions, rng)
    write(os.path.join(root, "definitions.txt"), "".join("%s,%s\n" % d for d in defs))
    letters = sorted(FONT)
    for v in range(args.vendors):
        vendor = "Vendor%04d" % v
        vdir = os.path.join(root, vendor)
        os.makedirs(vdir, exist_ok=True)
        colour = (rng.randrange(40, 200), rng.randrange(40, 200), rng.randrange(40, 200))
        write(os.path.join(vdir, "icon.png"), icon_png(letters[v % len(letters)], colour))
        for d in range(args.devices):
            ddir = os.path.join(vdir, "Model%04d" % d)
            os.makedirs(ddir, exist_ok=True)
            write(os.path.join(ddir, "runtime.txt"), "profiles\\runtimes\\%d\n" % (1 + rng.randrange(args.runtimes)))
            chosen = rng.sample(defs, min(args.defines, len(defs)))
            lines = ["/* Generated profile of %s %s */" % (vendor, "Model%04d" % d),
                     "#ifndef KV_PROFILE_H", "#define KV_PROFILE_H", ""]
            for macro, _ in chosen:
                if macro.startswith("KV_PROF_CONST"):
                    lines.append("#define %s %d" % (macro, rng.randrange(1, 4096)))
                else:
                    lines.append("#define %s" % macro)
            lines += ["", "#endif /* KV_PROFILE_H */", ""]
            write(os.path.join(ddir, "profile.h"), "\n".join(lines))


def main(argv):
    if len(argv) >= 1 and argv[0] == "icon":
        if len(argv) != 4 or len(argv[2]) != 6:
            sys.stderr.write("usage: gen-profiles.py icon LETTER RRGGBB OUT.png\n")
            return 2
        colour = tuple(int(argv[2][i:i + 2], 16) for i in (0, 2, 4))
        write(argv[3], icon_png(argv[1], colour))
        return 0
    parser = argparse.ArgumentParser(description="Write a synthetic device profile database.")
    parser.add_argument("directory", help="database root to create (holds definitions.txt)")
    parser.add_argument("--vendors", type=int, default=20)
    parser.add_argument("--devices", type=int, default=100, help="devices per vendor")
    parser.add_argument("--defines", type=int, default=60, help="KV_PROF_ lines per device")
    parser.add_argument("--definitions", type=int, default=500, help="lines of definitions.txt")
    parser.add_argument("--runtimes", type=int, default=3)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args(argv)
    if min(args.vendors, args.devices, args.defines, args.runtimes) < 0 or args.definitions < 2 or args.runtimes < 1:
        parser.error("counts must not be negative; at least 2 definitions and 1 runtime")
    generate(args)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
