#!/usr/bin/env python3
"""Writes a binary property list from a plain JSON description with Python's plistlib, a writer
independent of ours, so tests can compare the bytes our writer makes with it.

Description: any JSON value. Objects keep their key order. Besides JSON's own strings, integers,
reals, booleans, lists and objects, these one-key objects stand for other values:
  {"=real": N}   a real number (for whole numbers)      {"=data": "HEX"}   bytes
  {"=uid": N}    a keyed-archive reference

Equal UIDs are given as one object, so plistlib stores them once, as it does equal strings,
numbers and data; containers are never shared. That is the layout our writer makes.

Usage: make-plist-fixture.py DESCRIPTION.json OUTPUT

keyed-archive-canonical.json in tests/foundation/fixtures/ gives keyed-archive-canonical.bin there.
"""
import json
import plistlib
import sys


def build(value, uids):
    if isinstance(value, dict):
        if len(value) == 1:
            (key, item), = value.items()
            if key == "=real":
                return float(item)
            if key == "=data":
                return bytes.fromhex(item)
            if key == "=uid":
                return uids.setdefault(item, plistlib.UID(item))
        return {key: build(item, uids) for key, item in value.items()}
    if isinstance(value, list):
        return [build(item, uids) for item in value]
    return value


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as f:
        description = json.load(f)
    data = plistlib.dumps(build(description, {}), fmt=plistlib.FMT_BINARY, sort_keys=False)
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
