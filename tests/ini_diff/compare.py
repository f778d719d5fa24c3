#!/usr/bin/env python3
"""Compares what our reader and the Windows profile functions answered for the generated files.
On any difference it prints how many files differ and the smallest of them, with both answers,
and exits 1.

usage: compare.py FOLDER OURS THEIRS
"""
import pathlib
import sys


def answers(path):
    blocks, name = {}, None
    for line in pathlib.Path(path).read_text().splitlines():
        if line.startswith("@"):
            name = line[1:]
            blocks[name] = []
        else:
            blocks[name].append(line)
    return blocks


def main():
    folder, ours, theirs = pathlib.Path(sys.argv[1]), answers(sys.argv[2]), answers(sys.argv[3])
    files = sorted(p.name for p in folder.glob("*.ini"))
    missing = [f for f in files if f not in ours or f not in theirs]
    if missing or not files:
        print(f"FAIL {len(missing)} of {len(files)} files have no answers, first {missing[:1]}")
        return 1
    differing = [f for f in files if ours[f] != theirs[f]]
    if not differing:
        print(f"the profile functions and our reader agree on all {len(files)} files")
        return 0
    smallest = min(differing, key=lambda f: ((folder / f).stat().st_size, f))
    print(f"FAIL {len(differing)} of {len(files)} files read differently; the smallest, {smallest}:")
    print("  bytes: " + repr((folder / smallest).read_bytes()))
    for mine, wine in zip(ours[smallest], theirs[smallest]):
        mark = "  " if mine == wine else "! "
        print(f"{mark}ours: {mine}\n{mark}wine: {wine}")
    return 1


if __name__ == "__main__":
    sys.exit(main())
