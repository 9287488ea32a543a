#!/usr/bin/env python3
"""Holds our PE reader's machine against pefile's reading of the same files:
every PE file in the build's Windows trees and in the Wine prefix's system
folders (both bitnesses where the prefix has them), and IL-only images made
here with a hand-written CLI header.

    pe_machines.py MACHINE_OF BUILD_DIR WINEPREFIX
"""
import os
import struct
import subprocess
import sys
import tempfile

try:
    import pefile
except ImportError:
    # Debian's python3-pefile, when the python3 on PATH is not Debian's own.
    sys.path.append("/usr/lib/python3/dist-packages")
    import pefile

ILONLY, REQUIRED_32BIT = 0x1, 0x2
NAMES = {0x14C: "i386", 0x8664: "x64", 0xAA64: "arm64"}


def expected(path):
    """The name pefile's fields give, by the rules programs are loaded by."""
    try:
        pe = pefile.PE(path, fast_load=True)
    except pefile.PEFormatError:
        return "none"
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]])
    machine = pe.FILE_HEADER.Machine
    pe32_plus = pe.OPTIONAL_HEADER.Magic == 0x20B
    # pefile lists the CLI header's directory but does not parse it: its
    # Flags are read at +16 through pefile's own mapping of addresses.
    cli = pe.OPTIONAL_HEADER.DATA_DIRECTORY[14]
    flags = pe.get_dword_at_rva(cli.VirtualAddress + 16) if cli.VirtualAddress and cli.Size >= 20 else None
    if flags is not None and flags & ILONLY:
        if not pe32_plus and not flags & REQUIRED_32BIT:
            return "any"
        if pe32_plus:
            return "x64"
    if machine == 0xAA64 and pe32_plus:
        config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
        if config is not None and getattr(config.struct, "CHPEMetadataPointer", 0):
            return "arm64x"
    return NAMES.get(machine, "0x%04x" % machine)


def is_pe(path):
    try:
        with open(path, "rb") as f:
            head = f.read(0x400)
    except OSError:
        return False
    if head[:2] != b"MZ" or len(head) < 0x40:
        return False
    at = struct.unpack_from("<I", head, 0x3C)[0]
    try:
        with open(path, "rb") as f:
            f.seek(at)
            return f.read(4) == b"PE\0\0"
    except (OSError, ValueError):
        return False


def pe_files(folders):
    for folder in folders:
        for root, _, names in os.walk(folder):
            for name in sorted(names):
                path = os.path.join(root, name)
                if os.path.isfile(path) and not os.path.islink(path) and is_pe(path):
                    yield path


def il_image(flags, pe32_plus, machine=0x14C):
    """A minimal image with one section holding a CLI header of flags."""
    optional = 0x58
    directories = optional + (112 if pe32_plus else 96)
    table = directories + 16 * 8
    image = bytearray(0x800)
    struct.pack_into("<HI", image, 0, 0x5A4D, 0)
    struct.pack_into("<I", image, 0x3C, 0x40)
    struct.pack_into("<IHH", image, 0x40, 0x4550, machine, 1)
    struct.pack_into("<H", image, 0x54, table - optional)
    struct.pack_into("<H", image, optional, 0x20B if pe32_plus else 0x10B)
    struct.pack_into("<I", image, optional + 0x20, 0x1000)   # SectionAlignment
    struct.pack_into("<I", image, optional + 0x24, 0x200)                     # FileAlignment
    struct.pack_into("<I", image, optional + 0x38, 0x2000)                    # SizeOfImage
    struct.pack_into("<I", image, optional + 0x3C, 0x200)                     # SizeOfHeaders
    struct.pack_into("<I", image, directories - 4, 16)
    struct.pack_into("<II", image, directories + 8 * 14, 0x1100, 72)
    struct.pack_into("<8sIIII", image, table, b".text", 0x400, 0x1000, 0x400, 0x400)
    struct.pack_into("<IHHI", image, 0x500, 72, 2, 5, 0)
    struct.pack_into("<I", image, 0x500 + 16, flags)
    return bytes(image)


def main():
    machine_of, build, prefix = sys.argv[1:4]
    windows = os.path.join(prefix, "drive_c", "windows")
    folders = [os.path.join(build, t) for t in ("win32", "win64")]
    folders += [os.path.join(windows, f) for f in ("system32", "syswow64")]
    files = list(pe_files(f for f in folders if os.path.isdir(f)))
    with tempfile.TemporaryDirectory() as scratch:
        made = {"il32.dll": (ILONLY, False), "il32req.dll": (ILONLY | REQUIRED_32BIT, False),
                "il64.dll": (ILONLY, True), "mixed.dll": (0x10, False)}
        for name, (flags, plus) in made.items():
            path = os.path.join(scratch, name)
            with open(path, "wb") as f:
                f.write(il_image(flags, plus))
            files.append(path)
        ours = {}
        for at in range(0, len(files), 500):
            out = subprocess.run([machine_of] + files[at:at + 500], check=True,
                                 capture_output=True, text=True).stdout
            for line in out.splitlines():
                path, name = line.rsplit("\t", 1)
                ours[path] = name
        wrong = [(p, ours.get(p), expected(p)) for p in files if ours.get(p) != expected(p)]
        kinds = {}
        for p in files:
            kinds[ours.get(p)] = kinds.get(ours.get(p), 0) + 1
        il_names = [ours[os.path.join(scratch, n)] for n in sorted(made)]
    for path, got, want in wrong[:20]:
        print("DIFFERS: %s: ours %s, pefile %s" % (path, got, want))
    print("%d PE files compared: %s" % (len(files), ", ".join("%s %d" % kv for kv in sorted(kinds.items()))))
    if il_names != ["any", "i386", "x64", "i386"]:
        print("the hand-made IL-only images read as", il_names)
        return 1
    if len(files) < 100:
        print("too few PE files found to prove anything")
        return 1
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
