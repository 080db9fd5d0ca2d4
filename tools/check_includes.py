#!/usr/bin/env python3
"""Lists every #include that points from a lower layer to a higher one.

The layers, lowest first, and the folders that hold each, are the table
below (the README shows the same table). A file may include files of its own
layer and of the layers under it. Prints one line per include that points up
and exits 1 when there is any; prints nothing and exits 0 otherwise.

Usage: tools/check_includes.py [source root]
"""
import os
import re
import sys

LAYERS = [
    ("core", ["runtime/core"]),
    ("platform", ["runtime/platform"]),
    ("memory", ["runtime/memory"]),
    ("text, hashing, codecs", ["runtime/unicode", "runtime/hash", "runtime/sort", "runtime/compress", "runtime/image"]),
    ("output", ["runtime/output"]),
    ("words and contexts", ["runtime/words"]),
    ("datatypes, actions, host services", ["runtime/datatypes", "runtime/numtext", "runtime/strings", "runtime/host"]),
    ("lexer", ["runtime/lexer"]),
    ("evaluator, errors, natives, PARSE, QORBIN", ["runtime/eval", "runtime/errors", "runtime/parse", "runtime/qorbin"]),
    ("library", ["runtime/environment"]),
    ("console and interface engine", ["console", "view"]),
    ("application", ["app"]),
]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer_of(path):
    """The rank of the layer whose folder holds the path, None outside them."""
    best = None
    best_len = -1
    for rank, (_, folders) in enumerate(LAYERS):
        for folder in folders:
            if (path == folder or path.startswith(folder + "/")) and len(folder) > best_len:
                best, best_len = rank, len(folder)
    return best


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    found = 0
    for top in ("runtime", "console", "view", "app"):
        for dirpath, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if not name.endswith((".h", ".cpp", ".inc")):
                    continue
                path = os.path.relpath(os.path.join(dirpath, name), root)
                rank = layer_of(path)
                if rank is None:
                    print(f"{path}: in no layer")
                    found += 1
                    continue
                with open(os.path.join(root, path), encoding="utf-8") as f:
                    text = f.read()
                for target in INCLUDE.findall(text):
                    target_rank = layer_of(target)
                    if target_rank is not None and target_rank > rank:
                        print(f"{path} ({LAYERS[rank][0]}) includes {target} ({LAYERS[target_rank][0]})")
                        found += 1
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()
