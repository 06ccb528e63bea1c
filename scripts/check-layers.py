#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Checks that no folder includes a header from a layer above it.

Each folder of the sources has a layer; a file may include headers of its
own folder's layer or of lower layers, never of higher ones. Prints each
include that climbs and exits 1 if there is any.

    check-layers.py SOURCE_DIR
"""
import os
import re
import sys

# Lower numbers lie lower. A folder not named here is not checked; a
# subfolder takes its parent's layer.
LAYERS = {
    "include": 0,
    "service/include": 0,
    "common": 1,
    "service/xml": 1,
    "service/engine": 1,
    "service/mandarin": 2,
    "service/lexicons": 3,
    "service/ssml": 4,
    "service/src": 5,
    "src": 6,
    "speechd": 6,
    "server": 6,
    "cli": 7,
}
SKIPPED = ("tests", "tools", "e2e")


def folder_of(root, path):
    rel = os.path.relpath(path, root)
    best = None
    for folder in LAYERS:
        if (rel + "/").startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


def main():
    root = sys.argv[1]
    sources = []
    headers = {}
    for folder in LAYERS:
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, folder)):
            dirnames[:] = [d for d in dirnames if d not in SKIPPED]
            for name in filenames:
                path = os.path.join(dirpath, name)
                if name.endswith(".h"):
                    headers.setdefault(name, set()).add(path)
                if name.endswith((".h", ".c", ".cc")):
                    sources.append(path)
    climbs = 0
    for path in sorted(set(sources)):
        own = folder_of(root, path)
        with open(path, encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
                if not m:
                    continue
                name = os.path.basename(m.group(1))
                found = headers.get(name, set())
                # A header beside the file is the one it means.
                beside = os.path.join(os.path.dirname(path), name)
                targets = [beside] if beside in found else sorted(found)
                for target in targets:
                    theirs = folder_of(root, target)
                    if LAYERS[theirs] > LAYERS[own]:
                        rel = os.path.relpath(path, root)
                        print(f"{rel}:{number}: includes {os.path.relpath(target, root)}, a layer above {own}")
                        climbs += 1
    return 1 if climbs else 0


if __name__ == "__main__":
    sys.exit(main())
