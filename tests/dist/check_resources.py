#!/usr/bin/env python3
"""Checks the resources of a built QMXSET.EXE by reading the file, without
running it: the 32-bit program is checked this way even on a host that
cannot run it. Fails unless the dialogs, the icon, the messages, the version
and the manifest the program relies on are there as it expects them.

    check_resources.py QMXSET.EXE
"""
import struct
import sys

RT_ICON_GROUP, RT_DIALOG, RT_STRING, RT_VERSION, RT_MANIFEST = 14, 5, 6, 16, 24
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


def main(path):
    with open(path, "rb") as f:
        res = PeFile(f.read()).resources()
    problems = []

    def need(what, ok):
        print(("ok   " if ok else "BAD  ") + what)
        if not ok:
            problems.append(what)

    for dialog in (100, 102, 129):
        need("dialog %d" % dialog, (RT_DIALOG, dialog, ENGLISH_US) in res)
    group = res.get((RT_ICON_GROUP, 128, ENGLISH_US), b"")
    need("icon 128 with one image", len(group) == 20 and group[4] == 1)
    texts = strings({rid: data for (rtype, rid, lang), data in res.items()
                     if rtype == RT_STRING and lang == ENGLISH_US})
    for sid in range(101, 110):
        need("string %d" % sid, bool(texts.get(sid)))
    need("the restart message as written",
         texts.get(107) == "Module installation complete. To make the changes take effectm restart your computer.")
    need("a Japanese message", texts.get(102) == "モジュールのインストールが完了しました。")
    version = res.get((RT_VERSION, 1, ENGLISH_US), b"")
    need("version resource naming QMXSET.EXE", "QMXSET.EXE".encode("utf-16-le") in version)
    manifest = res.get((RT_MANIFEST, 1, ENGLISH_US), b"").decode("utf-8", "replace")
    need("manifest asking for the highest rights", 'level="highestAvailable"' in manifest)
    for os_id in ("e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                  "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                  "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
        need("manifest declaring %s" % os_id, os_id in manifest)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
