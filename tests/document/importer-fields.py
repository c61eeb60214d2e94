#!/usr/bin/env python3
"""Walks a composition package's "composition" file with plistlib alone, as a desktop-search
importer would, and prints the fields such an importer reads: the objects of the container, the
chapter marks, the metadata, the texts of text objects and of generated speech. Each object's
class record must carry its superclass chain down to NSObject, since the importer has none of
the program's classes.

Usage: importer-fields.py PACKAGE
"""
import plistlib
import sys


def main():
    with open(sys.argv[1] + "/composition", "rb") as f:
        archive = plistlib.load(f)
    objects = archive["$objects"]

    def deref(value):
        return objects[value.data] if isinstance(value, plistlib.UID) else value

    def chain(record):
        return deref(record["$class"])["$classes"]

    def dictionary(value):
        value = deref(value)
        return {deref(k): v for k, v in zip(value["NS.keys"], value["NS.objects"])}

    def array(value):
        return [deref(v) for v in deref(value)["NS.objects"]]

    root = dictionary(archive["$top"]["root"])
    container = deref(root["objects"])
    print("container " + " ".join(chain(container)))
    items = array(container["objects"])
    print("objects %d" % len(items))
    for item in items:
        classes = chain(item)
        if classes[-1] != "NSObject" or "CompositionBaseObject" not in classes:
            print("broken chain " + " ".join(classes))
        if "text" in item:
            print("text " + deref(item["text"]))
        if "key_speechGenerationInfo" in item:
            for info in dictionary(item["key_speechGenerationInfo"]).values():
                print("speech " + deref(deref(info)["text"]))
    for mark in array(container["key_chapterMarks"]):
        print("chapter " + deref(mark["name"]))
    for key, value in dictionary(container["key_metaData"]).items():
        print("metaData %s %s" % (key, deref(value)))


if __name__ == "__main__":
    main()
