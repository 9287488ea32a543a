#!/usr/bin/env python3
"""Prints what an App Control or AppLocker publisher rule reads from a
program's version resource, tab-separated on one line: OriginalFilename,
the FileVersion text and the numeric file version (a.b.c.d). A field the
file lacks is printed as "-". Exits 1 when the file is no PE program.

    pe_version.py FILE
"""
import struct
import sys

RT_VERSION = 16


def version_block(data):
    if data[:2] != b"MZ":
        return None
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return None
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    rva = struct.unpack_from("<I", data, optional + (96 if magic == 0x10B else 112) + 2 * 8)[0]
    sections = [struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * i) for i in range(count)]

    def offset(address):
        for size, start, raw_size, raw in sections:
            if start <= address < start + max(size, raw_size):
                return raw + address - start
        raise ValueError("RVA 0x%x is in no section" % address)

    def first(directory, wanted=None):
        named, numbered = struct.unpack_from("<12xHH", data, directory)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, directory + 16 + 8 * i)
            if wanted is None or name == wanted:
                return target & 0x7FFFFFFF
        return None

    if not rva:
        return b""
    base = offset(rva)
    level = first(base, RT_VERSION)
    for _ in range(2):  # its id, then its language
        if level is None:
            return b""
        level = first(base + level)
    if level is None:
        return b""
    start, size = struct.unpack_from("<II", data, base + level)
    return data[offset(start):offset(start) + size]


def string_value(block, key):
    """The value of key in the StringFileInfo, as the version API returns it."""
    marker = (key + "\0").encode("utf-16-le")
    at = block.find(marker)
    if at < 0:
        return "-"
    at += len(marker)
    at += -at % 4
    end = at
    while end + 1 < len(block) and block[end:end + 2] != b"\0\0":
        end += 2
    return block[at:end].decode("utf-16-le") or "-"


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    try:
        block = version_block(data)
    except (ValueError, struct.error):
        block = None
    if block is None:
        print("%s: not a PE program" % sys.argv[1], file=sys.stderr)
        return 1
    numbers = "-"
    fixed = block.find(struct.pack("<I", 0xFEEF04BD))
    if fixed >= 0 and fixed + 16 <= len(block):
        ms, ls = struct.unpack_from("<II", block, fixed + 8)
        numbers = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    print("\t".join([string_value(block, "OriginalFilename"), string_value(block, "FileVersion"), numbers]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
