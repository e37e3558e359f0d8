#!/usr/bin/env python3
"""Writes an uncompressed cabinet whose entry names are taken exactly as given.

  write-cabinet.py OUT.cab NAME=FILE [NAME=FILE ...]

gcab normalises entry names (it turns "/" into "\\" and drops ".." levels); the tests also
need cabinets whose names a hostile packager would write ("..\\evil.dll", "C:\\x", "CON"),
so this writer puts each NAME (split at the last "=") into the cabinet unchanged, with the
content of FILE. One folder, stored blocks of at most 32 KiB, checksums 0 (allowed).
"""
import struct
import sys

BLOCK = 32768


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    entries = []
    for arg in sys.argv[2:]:
        name, path = arg.rsplit("=", 1)
        with open(path, "rb") as f:
            entries.append((name.encode("latin-1"), f.read()))

    header_size = 36
    folder_size = 8
    files = b""
    offset = 0
    for name, data in entries:
        # date 1 Jan 2020, time 0, attributes 0x20 (archive)
        files += struct.pack("<IIHHHH", len(data), offset, 0, (40 << 9) | (1 << 5) | 1, 0, 0x20) + name + b"\0"
        offset += len(data)

    content = b"".join(data for _, data in entries)
    blocks = [content[i:i + BLOCK] for i in range(0, len(content), BLOCK)] or [b""]
    data_start = header_size + folder_size + len(files)
    data = b"".join(struct.pack("<IHH", 0, len(b), len(b)) + b for b in blocks)
    total = data_start + len(data)

    header = struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, total, 0, header_size + folder_size, 0, 3, 1,
                         1, len(entries), 0, 0x1234, 0)
    folder = struct.pack("<IHH", data_start, len(blocks), 0)
    with open(sys.argv[1], "wb") as f:
        f.write(header + folder + files + data)


if __name__ == "__main__":
    main()
