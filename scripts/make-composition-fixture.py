#!/usr/bin/env python3
"""Builds composition packages from plain JSON descriptions, independently of the program's own
writer, so that tests open packages the program did not make.

Description file:
  {"templates": {NAME: PACKAGE, ...},       # optional: packages others start from
   "packages": {NAME: PACKAGE, ...}}        # each built as OUTPUT/NAME.vistrelcomposition
PACKAGE:
  {"like": TEMPLATE,                        # starts from the template: "root", "objects",
                                            # "files" and "links" add to and replace its keys
   "drop": [ROOT KEY, ...],                 # root keys of the template left out
  {"root": {KEY: VALUE, ...},               # the root dictionary of "composition", in this order
   "objects": {NAME: OBJECT, ...},          # archive objects that VALUEs refer to by name
   "composition": "omit" | {"hex": "..."} | {"text": "..."},   # no file, or these bytes instead
   "mediaClean": true,                      # the marker file (default true)
   "files": {RELATIVE PATH: TEXT, ...},     # plain files inside the package
   "folders": [RELATIVE PATH, ...],
   "links": {RELATIVE PATH: TARGET, ...},   # symbolic links; "@OUTPUT@" in TARGET is the output folder
   "outside": {NAME: TEXT, ...},            # plain files beside the packages, in OUTPUT
   "rootValue": VALUE}                      # stored under "root" in place of the dictionary
"@OUTPUT@" in any string or link target stands for the absolute path of OUTPUT.
OBJECT: {"class": [CLASSNAME, SUPERCLASS, ...], "keys": {KEY: VALUE, ...}}
VALUE (kept in the object's own dictionary where the keyed archive keeps it, else stored as an
object and referenced):
  a JSON integer, boolean or null; a string (a string object)
  {"real": N}            a real number          {"inline": "TEXT"}  a string kept in place (geometry)
  {"ref": NAME}          a named object         {"object": OBJECT}  an anonymous object
  {"array": [VALUE...]}  an NSMutableArray      {"dict": {KEY: VALUE}}  an NSMutableDictionary
  {"number": N}          a number object (integer or real)

Usage: make-composition-fixture.py DESCRIPTION.json OUTPUT
"""
import json
import os
import plistlib
import shutil
import sys

OUTPUT = [""]
ARRAY_CLASS = ["NSMutableArray", "NSArray", "NSObject"]
DICT_CLASS = ["NSMutableDictionary", "NSDictionary", "NSObject"]


class Archive:
    def __init__(self, named):
        self.objects = ["$null"]
        self.classes = {}
        self.names = {}
        for name in named:
            self.names[name] = len(self.objects)
            self.objects.append(None)
        for name, obj in named.items():
            self.objects[self.names[name]] = self.record(obj)

    def add(self, value):
        self.objects.append(value)
        return plistlib.UID(len(self.objects) - 1)

    def class_uid(self, chain):
        if chain[0] not in self.classes:
            self.classes[chain[0]] = self.add({"$classes": list(chain), "$classname": chain[0]})
        return self.classes[chain[0]]

    def record(self, obj):
        record = {"$class": None}
        for key, v in obj.get("keys", {}).items():
            record[key] = self.member(v)
        record["$class"] = self.class_uid(obj["class"])
        return record

    # A value inside an object's own dictionary: scalars in place, the rest by reference.
    def member(self, v):
        if isinstance(v, bool) or isinstance(v, int):
            return v
        if isinstance(v, dict) and "real" in v:
            return float(v["real"])
        if isinstance(v, dict) and "inline" in v:
            return v["inline"]
        return self.reference(v)

    # A value stored as an object of its own.
    def reference(self, v):
        if v is None:
            return plistlib.UID(0)
        if isinstance(v, str):
            return self.add(v.replace("@OUTPUT@", OUTPUT[0]))
        if isinstance(v, bool) or isinstance(v, int):
            return self.add(v)
        if isinstance(v, dict):
            if "ref" in v:
                return plistlib.UID(0 if v["ref"] is None else self.names[v["ref"]])
            if "real" in v:
                return self.add(float(v["real"]))
            if "number" in v:
                return self.add(v["number"])
            if "inline" in v:
                return self.add(v["inline"])
            if "object" in v:
                return self.add(self.record(v["object"]))
            if "array" in v:
                items = [self.reference(x) for x in v["array"]]
                return self.add({"NS.objects": items, "$class": self.class_uid(ARRAY_CLASS)})
            if "dict" in v:
                keys = [self.add(k) for k in v["dict"].keys()]
                values = [self.reference(x) for x in v["dict"].values()]
                return self.add({"NS.keys": keys, "NS.objects": values, "$class": self.class_uid(DICT_CLASS)})
        raise ValueError("unknown value form: %r" % (v,))


def composition_bytes(description):
    archive = Archive(description.get("objects", {}))
    root = archive.reference(description.get("rootValue", {"dict": description.get("root", {})}))
    plist = {"$version": 100000, "$archiver": "NSKeyedArchiver", "$top": {"root": root},
             "$objects": archive.objects}
    return plistlib.dumps(plist, fmt=plistlib.FMT_BINARY, sort_keys=False)


def build_package(output, name, description):
    folder = os.path.join(output, name + ".vistrelcomposition")
    os.makedirs(folder)
    composition = description.get("composition")
    if composition != "omit":
        if isinstance(composition, dict) and "hex" in composition:
            data = bytes.fromhex(composition["hex"])
        elif isinstance(composition, dict) and "text" in composition:
            data = composition["text"].encode("utf-8")
        else:
            data = composition_bytes(description)
        with open(os.path.join(folder, "composition"), "wb") as f:
            f.write(data)
    if description.get("mediaClean", True):
        open(os.path.join(folder, "mediaClean"), "wb").close()
    for relative in description.get("folders", []):
        os.makedirs(os.path.join(folder, relative), exist_ok=True)
    for relative, text in description.get("files", {}).items():
        path = os.path.join(folder, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
    for relative, target in description.get("links", {}).items():
        path = os.path.join(folder, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        os.symlink(target.replace("@OUTPUT@", OUTPUT[0]), path)
    for relative, text in description.get("outside", {}).items():
        with open(os.path.join(output, relative), "w", encoding="utf-8") as f:
            f.write(text)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as f:
        description = json.load(f)
    output = sys.argv[2]
    OUTPUT[0] = os.path.abspath(output)
    os.makedirs(output, exist_ok=True)
    templates = description.get("templates", {})
    for name, package in description["packages"].items():
        if "like" in package:
            merged = json.loads(json.dumps(templates[package["like"]]))
            for key, value in package.items():
                if key in ("root", "objects", "files", "links") and key in merged:
                    merged[key].update(value)
                elif key not in ("like", "drop"):
                    merged[key] = value
            for key in package.get("drop", []):
                merged.get("root", {}).pop(key, None)
            package = merged
        target = os.path.join(output, name + ".vistrelcomposition")
        if os.path.lexists(target):
            shutil.rmtree(target)
        build_package(output, name, package)


if __name__ == "__main__":
    main()
