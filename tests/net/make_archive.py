#!/usr/bin/env python3
"""Zip archives for the update tests, made the way other tools make them.

  make_archive.py writestr SRC OUT
      every file below SRC/profiles, stored with zipfile.writestr: the
      entries carry Unix permission bits but no file type.
  make_archive.py bomb OUT NAME LISTED INFLATED [NEXT]
      one deflated entry NAME of INFLATED zero bytes whose sizes in the
      archive say LISTED (the checksum is that of the real content), and
      with NEXT a small stored entry of that name after it.
"""
import os
import struct
import sys
import zipfile
import zlib


def writestr(src, out):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
        for directory, _, files in sorted(os.walk(os.path.join(src, "profiles"))):
            for name in sorted(files):
                path = os.path.join(directory, name)
                with open(path, "rb") as f:
                    archive.writestr(os.path.relpath(path, src), f.read())


def entry(name, body, crc, method, listed, offset):
    """The local header and the central directory record of one entry."""
    encoded = name.encode()
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, 0, 0x5021, crc, len(body), listed, len(encoded), 0)
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 20, 0, method, 0, 0x5021, crc, len(body), listed,
                          len(encoded), 0, 0, 0, 0, 0o100644 << 16, offset)
    return local + encoded + body, central + encoded


def bomb(out, name, listed, inflated, following=None):
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    chunk = bytes(1 << 20)
    data = []
    crc = 0
    left = inflated
    while left > 0:
        piece = chunk[: min(left, len(chunk))]
        crc = zlib.crc32(piece, crc)
        data.append(compressor.compress(piece))
        left -= len(piece)
    data.append(compressor.flush())
    local, central = entry(name, b"".join(data), crc, 8, listed, 0)
    count = 1
    if following:
        content = b"after the bomb\n"
        more_local, more_central = entry(following, content, zlib.crc32(content), 0, len(content), len(local))
        local += more_local
        central += more_central
        count = 2
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), len(local), 0)
    with open(out, "wb") as f:
        f.write(local + central + end)


if __name__ == "__main__":
    if sys.argv[1] == "writestr" and len(sys.argv) == 4:
        writestr(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "bomb" and len(sys.argv) in (6, 7):
        bomb(sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5]), sys.argv[6] if len(sys.argv) == 7 else None)
    else:
        sys.exit(__doc__)
