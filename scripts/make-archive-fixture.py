#!/usr/bin/env python3
"""Builds a keyed archive (binary property list in the standard layout) from a plain JSON
description, so test fixtures are written by hand rather than produced by the code under test.

Description:
  {"top": {KEY: VALUE, ...},
   "objects": {NAME: OBJECT, ...}}     # stored in this order after "$null"
OBJECT is either a plain JSON value (stored as it is: a string, number or boolean object) or
  {"class": [CLASSNAME, SUPERCLASS, ...], "keys": {KEY: VALUE, ...}}
VALUE is a JSON string, integer, boolean or list, or one of
  {"ref": NAME}  a reference to a named object ({"ref": null} is nil)
  {"real": N}    a real number      {"data": "HEX"}  bytes      {"text-data": "TEXT"}  bytes of TEXT
Class records are appended after the named objects, one per class name.

Usage: make-archive-fixture.py DESCRIPTION.json OUTPUT
"""
import json
import plistlib
import sys


def build(description):
    names = list(description["objects"].keys())
    index = {name: i + 1 for i, name in enumerate(names)}
    objects = ["$null"]
    class_records = {}
    pending_classes = []

    def value(v):
        if isinstance(v, dict):
            if "ref" in v:
                return plistlib.UID(0 if v["ref"] is None else index[v["ref"]])
            if "real" in v:
                return float(v["real"])
            if "data" in v:
                return bytes.fromhex(v["data"])
            if "text-data" in v:
                return v["text-data"].encode("utf-8") + b"\0"
            raise ValueError("unknown value form: %r" % (v,))
        if isinstance(v, list):
            return [value(x) for x in v]
        return v

    def class_uid(chain):
        name = chain[0]
        if name not in class_records:
            class_records[name] = len(names) + 1 + len(pending_classes)
            pending_classes.append({"$classes": chain, "$classname": name})
        return plistlib.UID(class_records[name])

    for name in names:
        obj = description["objects"][name]
        if isinstance(obj, dict) and "class" in obj:
            record = {"$class": class_uid(obj["class"])}
            for key, v in obj.get("keys", {}).items():
                record[key] = value(v)
            objects.append(record)
        else:
            objects.append(value(obj))
    objects.extend(pending_classes)

    top = {key: value(v) for key, v in description["top"].items()}
    return {"$version": 100000, "$archiver": "NSKeyedArchiver", "$top": top, "$objects": objects}


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as f:
        description = json.load(f)
    data = plistlib.dumps(build(description), fmt=plistlib.FMT_BINARY, sort_keys=False)
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
