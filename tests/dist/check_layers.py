#!/usr/bin/env python3
"""Holds the product's includes to its layers: a file may include its own
folder's headers and those of any lower layer, never a higher one's, nor a
folder of its own layer. The layers are the table in docs/architecture.md.

Usage: check_layers.py SRC_DIR"""
import os
import re
import sys

# Lowest first; folders on one line are peers, which do not include each other.
LAYERS = [
    ["platform"],
    ["log"],
    ["changelist"],
    ["engine/version", "engine/seal"],
    ["engine/site"],
    ["engine/swap", "engine/restart"],
    ["engine/undo"],
    ["engine/run"],
    ["engine/local"],
    ["check", "ui"],
    ["app"],
]
LEVEL = {folder: level for level, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path):
    """The layer folder a path under src/ belongs to, or None."""
    parts = path.split("/")
    for depth in (2, 1):
        folder = "/".join(parts[:depth])
        if folder in LEVEL:
            return folder
    return None


def is_test(name):
    return name.endswith("_test.cpp") or "_test-" in name


def main(src):
    faults = []
    for root, _, files in os.walk(src):
        for name in files:
            if not name.endswith((".h", ".cpp", ".c")) or is_test(name):
                continue
            path = os.path.relpath(os.path.join(root, name), src).replace(os.sep, "/")
            own = folder_of(path)
            if own is None:
                continue
            with open(os.path.join(root, name), encoding="utf-8", errors="replace") as text:
                for included in INCLUDE.findall(text.read()):
                    other = folder_of(included)
                    if other is None or other == own:
                        continue
                    if LEVEL[other] >= LEVEL[own]:
                        faults.append(f"{path} includes {included}: {other} is not below {own}")
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print("every include runs to a lower layer")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
