#!/usr/bin/env python3
"""Checks the resources of a built QMXSET.EXE by reading the file, without
running it: the 32-bit program is checked this way even on a host that
cannot run it. Every dialog, icon and string that the code under SRC names
must be in the file, each string non-empty and in the characters its
language can show through the ANSI calls (English in ASCII, Japanese in
code page 932); and the manifest must ask for the rights an installer needs.

    check_resources.py QMXSET.EXE SRC
"""
import glob
import re
import struct
import sys

RT_ICON_GROUP, RT_DIALOG, RT_STRING, RT_MANIFEST = 14, 5, 6, 24
ENGLISH_US = 0x0409


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<8xIIII", data, table + 40 * i) for i in range(sections)]

    def offset(self, rva):
        for virtual_size, virtual_address, raw_size, raw_pointer in self.sections:
            if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
                return raw_pointer + rva - virtual_address
        raise ValueError("RVA 0x%x is in no section" % rva)

    def _entries(self, directory):
        named, numbered = struct.unpack_from("<12xHH", self.data, directory)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
            yield name, target

    def resources(self):
        """{(type, id, language): bytes} for every resource with a numeric type and id."""
        found = {}
        if not self.resource_rva:
            return found
        base = self.offset(self.resource_rva)
        for rtype, types in self._entries(base):
            for rid, ids in self._entries(base + (types & 0x7FFFFFFF)):
                for lang, leaf in self._entries(base + (ids & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(rva)
                    found[(rtype, rid, lang)] = self.data[start:start + size]
        return found


def strings(table_blocks):
    """{id: text} from the string-table blocks {block id: bytes}."""
    texts = {}
    for block, data in table_blocks.items():
        at = 0
        for i in range(16):
            length = struct.unpack_from("<H", data, at)[0]
            text = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            if length:
                texts[(block - 1) * 16 + i] = text
            at += 2 + 2 * length
    return texts


def named_ids(src):
    """{name: id} of the resource ids that the code under src uses."""
    with open(src + "/ui/res/resource.h", encoding="utf-8") as f:
        defined = dict(re.findall(r"#define\s+(ID[DIS]_\w+)\s+(\d+)", f.read()))
    used = set()
    for path in glob.glob(src + "/**/*.cpp", recursive=True):
        if not path.endswith("_test.cpp"):
            with open(path, encoding="utf-8") as f:
                used.update(re.findall(r"\bID[DIS]_\w+", f.read()))
    return {name: int(value) for name, value in defined.items() if name in used}


def shows(text, japanese):
    try:
        text.encode("cp932" if japanese else "ascii")
        return True
    except UnicodeEncodeError:
        return False


def main(path, src):
    with open(path, "rb") as f:
        res = PeFile(f.read()).resources()
    texts = strings({rid: data for (rtype, rid, lang), data in res.items()
                     if rtype == RT_STRING and lang == ENGLISH_US})
    problems = []

    def need(what, ok):
        print(("ok   " if ok else "BAD  ") + what)
        if not ok:
            problems.append(what)

    ids = named_ids(src)
    need("the code names resources", len(ids) > 0)
    for name, rid in sorted(ids.items()):
        if name.startswith("IDS_"):
            need("%s (%d) can be shown" % (name, rid), bool(texts.get(rid)) and shows(texts[rid], name.endswith("_JA")))
        else:
            rtype = RT_DIALOG if name.startswith("IDD_") else RT_ICON_GROUP
            need("%s (%d)" % (name, rid), (rtype, rid, ENGLISH_US) in res)
    # No run under Wine shows this: without it, an administrator's run on Vista
    # and later lacks the rights to the system folder.
    manifest = res.get((RT_MANIFEST, 1, ENGLISH_US), b"").decode("utf-8", "replace")
    need("manifest asking for the highest rights", 'level="highestAvailable"' in manifest)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
