#!/usr/bin/env python3
"""Writes a seeded benchmark payload shaped like a real application.

    make_payload.py OUT_DIR APP_DLL [--scale S] [--file-scale F] [--seed N]

At scale 1: about 60.6 MB in 970 files. The first file, app.dll, is the
given application library padded to 18.5 MB (the loader ignores data after
the image). Names are 8 to 43 characters with at most five components, files
of one directory are written one after another, and the content mixes text,
structured records and incompressible bytes so that the whole compresses
about 3.7 to 1. Prints the file list, library first, one relative path a line.
"""
import argparse
import os
import random

TOTAL_BYTES = 60_638_321
FILE_COUNT = 970
LIBRARY_BYTES = 18_575_872
PIECE = 4096
WORDS = ("import def class return self value data module config table index "
         "buffer stream record window frame header string number object list "
         "error result thread handle process library resource file path name "
         "size count offset cache entry update create delete option version").split()
EXTENSIONS = [".py", ".pyd", ".dll", ".txt", ".json", ".dat", ".pyc", ".xml"]


def make_pools(rng):
    text = bytearray()
    while len(text) < 1 << 20:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(3, 12)))
        text += (" " * 4 * rng.randint(0, 3) + line + "\n").encode()
    records = bytearray()
    for i in range(1 << 16):
        records += i.to_bytes(4, "little") + rng.randbytes(2) + bytes(10)
    return bytes(text), bytes(records)


def content(rng, size, text, records):
    """Pieces of text, records and noise in the mix that gives about 3.7:1."""
    out = bytearray()
    while len(out) < size:
        pick = rng.random()
        if pick < 0.20:
            out += rng.randbytes(PIECE)
        else:
            pool = text if pick < 0.75 else records
            start = rng.randrange(0, len(pool) - PIECE)
            out += pool[start:start + PIECE]
    return bytes(out[:size])


# Names that Windows takes for devices, whatever their extension.
DEVICE_NAMES = {"con", "prn", "aux", "nul"} | {f"{d}{n}" for d in ("com", "lpt") for n in range(10)}


def name_part(rng, low, high):
    letters = "abcdefghijklmnopqrstuvwxyz_"
    while True:
        part = "".join(rng.choice(letters) for _ in range(rng.randint(low, high)))
        if part not in DEVICE_NAMES:
            return part


def layout(rng, count):
    """Relative paths, grouped by directory, each 8 to 43 characters long."""
    paths = []
    while len(paths) < count:
        depth = rng.randint(0, 4)
        directory = [name_part(rng, 2, 7) for _ in range(depth)]
        for _ in range(rng.randint(1, 30)):
            if len(paths) == count:
                break
            parts = directory + [name_part(rng, 3, 10) + rng.choice(EXTENSIONS)]
            path = "/".join(parts)
            if 8 <= len(path) <= 43 and path not in paths and path != "app.dll":
                paths.append(path)
    return paths


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out_dir")
    parser.add_argument("app_dll")
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--file-scale", type=float, default=None,
                        help="scale of the file count alone (default: --scale)")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    text, records = make_pools(rng)

    library = open(args.app_dll, "rb").read()
    library_size = max(len(library), int(LIBRARY_BYTES * args.scale))
    os.makedirs(args.out_dir, exist_ok=True)
    with open(os.path.join(args.out_dir, "app.dll"), "wb") as f:
        f.write(library + content(rng, library_size - len(library), text, records))

    file_scale = args.scale if args.file_scale is None else args.file_scale
    count = max(1, round((FILE_COUNT - 1) * file_scale))
    rest = int((TOTAL_BYTES - LIBRARY_BYTES) * args.scale)
    # Sizes spread over three orders of magnitude, as in an installed tree.
    weights = [rng.lognormvariate(0, 1.6) for _ in range(count)]
    scale = rest / sum(weights)
    tree = os.path.join(args.out_dir, "tree")
    print("app.dll")
    for path, weight in zip(layout(rng, count), weights):
        full = os.path.join(tree, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(content(rng, int(weight * scale), text, records))
        print(path)


if __name__ == "__main__":
    main()
