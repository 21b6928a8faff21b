#!/usr/bin/env python3
"""Fails on an include that points up the layer order of src/.

A folder may include its own headers and those of the layers below it; ui/ folders
sit above every core folder; the two console programs on top; Quvane stands alone.
"""
import pathlib
import re
import sys

ORDER = ["platform", "app", "session", "audio", "web", "addressbook", "presence", "phone", "widgets"]
TOP = {"ui": len(ORDER), "cli": len(ORDER) + 1, "diag": len(ORDER) + 1}
ALONE = {"quvane"}


def layer(parts):
    """Rank of a path below src/ given as its parts."""
    if "ui" in parts[:-1]:
        return TOP["ui"]
    head = parts[0]
    if head in TOP:
        return TOP[head]
    if head in ORDER:
        return ORDER.index(head)
    return None


def main():
    root = pathlib.Path(__file__).resolve().parent.parent / "src"
    include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
    faults = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        own = path.relative_to(root).parts
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = include.match(line)
            if not m:
                continue
            target = pathlib.PurePosixPath(m.group(1)).parts
            if len(target) < 2:
                continue  # a header beside the file, or a library's
            where = f"src/{'/'.join(own)}:{number}: {m.group(1)}"
            if (own[0] in ALONE) != (target[0] in ALONE) and (own[0] in ALONE or target[0] in ALONE):
                faults.append(f"{where} crosses into or out of a stand-alone library")
                continue
            mine, theirs = layer(own), layer(target)
            if mine is None or theirs is None:
                if own[0] not in ALONE:
                    faults.append(f"{where}: folder not in the layer order")
                continue
            if theirs > mine:
                faults.append(f"{where} points up from {own[0]} to {target[0]}")
    for f in faults:
        print(f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
