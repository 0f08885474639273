#!/usr/bin/env python3
"""Makes the benchmark's input trees, the same bytes on every run.

Each tree is a product folder: CPP/Include holds the tree to copy and
"CPP/Lib VS2010" one small library, so the installer can copy it as it
copies a real product. Trees:

  sdk    about 3,000 headers of 1-60 KB over six levels of folders and 60
         libraries of 0.5-20 MB (about 370 MB);
  small  100,000 files of 0-4 KB in 2,000 folders of 50, laid out as
         half0/part0 .. half1/part1 so that half0/part0 (25,000 files) and
         half0 (50,000 files) are subsets of the same shape.

A tree is written under DATA/NAME.partial and renamed to DATA/NAME when
complete; DATA/NAME.json then describes it. A tree already there is reused.

usage: generate.py [--data DIR] [sdk] [small]
"""

import argparse
import hashlib
import json
import os
import shutil
import sys
import time

# Bump when the layout or the content changes, so old caches are not reused.
VERSION = 1
SEED = 20240611
MASK = (1 << 64) - 1
KIB = 1024
MIB = 1024 * 1024


class Rng:
    """splitmix64: small, fast enough, and the same in every Python."""

    def __init__(self, seed):
        self.state = seed & MASK

    def next64(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        return z ^ (z >> 31)

    def below(self, n):
        return self.next64() % n

    def skewed(self, low, high):
        """low..high, most values near low: low + (high-low) * u^3, in
        integers so that no floating-point library decides a size."""
        u = self.next64() >> 43  # 21 bits
        return low + (high - low) * u * u * u // (1 << 63)


SYLLABLES = ("ka", "to", "ren", "mi", "sar", "vel", "do", "qui", "lon",
             "be", "tra", "zen", "pol", "nu", "gar", "fi", "wex", "ho")


def word(rng, parts):
    return "".join(SYLLABLES[rng.below(len(SYLLABLES))]
                   for _ in range(parts))


def unique_name(rng, taken, make):
    """A name not yet in `taken`, compared without regard to case, as the
    copy engine matches destination names."""
    while True:
        name = make(rng)
        if name.lower() not in taken:
            taken.add(name.lower())
            return name


def binary_pool():
    pool = hashlib.shake_256(b"bench binary pool %d" % VERSION).digest(MIB)
    return pool + pool


def text_pool(rng):
    types = ("int", "void", "float", "const char*", "uint32_t", "bool")
    lines = []
    size = 0
    while size < 256 * KIB:
        kind = rng.below(4)
        if kind == 0:
            line = "/// %s the %s of a %s.\n" % (
                word(rng, 2).capitalize(), word(rng, 2), word(rng, 3))
        elif kind == 1:
            line = "#define %s_%s %d\n" % (word(rng, 2).upper(),
                                            word(rng, 2).upper(),
                                            rng.below(100000))
        else:
            line = "%s %s%s(%s %s, %s %s);\n" % (
                types[rng.below(len(types))], word(rng, 2).capitalize(),
                word(rng, 2).capitalize(), types[rng.below(len(types))],
                word(rng, 1), types[rng.below(len(types))], word(rng, 2))
        lines.append(line)
        size += len(line)
    pool = "".join(lines).encode("ascii")
    return pool + pool


def content(label, size, pool, offset):
    """`size` bytes: the file's own path first (so that no two files are
    alike and a file copied to the wrong place shows), then pool bytes."""
    head = label.encode() + b"\n"
    if size <= len(head):
        return head[:size]
    half = len(pool) // 2
    chunks = [head]
    left = size - len(head)
    while left > 0:
        take = min(left, half)
        chunks.append(pool[offset:offset + take])
        offset = (offset + 4099) % half
        left -= take
    return b"".join(chunks)


def write_file(root, relative, data):
    with open(os.path.join(root, relative), "wb") as out:
        out.write(data)


def add_product_parts(root):
    """The library folder the installer copies first, and the include
    folder that receives the tree."""
    os.makedirs(os.path.join(root, "CPP", "Lib VS2010"))
    write_file(root, os.path.join("CPP", "Lib VS2010", "bench.lib"),
               b"bench library\n" * 64)
    include = os.path.join(root, "CPP", "Include")
    os.makedirs(include)
    return include


def make_sdk(root):
    rng = Rng(SEED)
    include = add_product_parts(root)
    pool_text = text_pool(rng)
    pool_bin = binary_pool()
    folders = [""]
    stats = {"files": 0, "folders": 0, "bytes": 0, "depth": 0}

    def add_folders(parent, depth, deep):
        taken = set()
        # Ten top-level areas, then 0-3 sub-folders each; the first folder
        # of each level keeps at least one, so the tree reaches six levels.
        count = 10 if depth == 1 else rng.below(4)
        if deep:
            count = max(count, 1)
        for index in range(count):
            name = unique_name(rng, taken, lambda r: word(r, 2 + r.below(2)))
            path = os.path.join(parent, name)
            os.mkdir(os.path.join(include, path))
            folders.append(path)
            stats["depth"] = max(stats["depth"], depth)
            if depth < 6:
                add_folders(path, depth + 1, deep and index == 0)

    add_folders("", 1, True)
    names = {folder: set() for folder in folders}
    for _ in range(3000):
        folder = folders[rng.below(len(folders))]
        name = unique_name(
            rng, names[folder],
            lambda r: word(r, 2 + r.below(3)) + (".h" if r.below(5) else ".inl"))
        relative = os.path.join(folder, name)
        size = rng.skewed(1 * KIB, 60 * KIB)
        write_file(include, relative,
                   content(relative, size, pool_text,
                           rng.below(len(pool_text) // 2)))
        stats["bytes"] += size
        stats["files"] += 1
    for platform in ("x86", "x64"):
        folder = os.path.join("lib", platform)
        os.makedirs(os.path.join(include, folder))
        taken = set()
        for _ in range(30):
            name = unique_name(rng, taken, lambda r: word(r, 3) + ".lib")
            relative = os.path.join(folder, name)
            size = rng.skewed(MIB // 2, 20 * MIB)
            write_file(include, relative,
                       content(relative, size, pool_bin,
                               rng.below(len(pool_bin) // 2)))
            stats["bytes"] += size
            stats["files"] += 1
    stats["folders"] = len(folders) - 1 + 3
    return stats


def make_small(root):
    rng = Rng(SEED + 1)
    include = add_product_parts(root)
    pool = binary_pool()
    stats = {"files": 0, "folders": 0, "bytes": 0, "subsets": {}}
    per_folder = 50
    for half in range(2):
        for part in range(2):
            base = os.path.join("half%d" % half, "part%d" % part)
            for leaf in range(500):
                number = (half * 2 + part) * 500 + leaf
                folder = os.path.join(base, "d%04d" % number)
                os.makedirs(os.path.join(include, folder))
                stats["folders"] += 1
                for index in range(per_folder):
                    ext = (".h", ".cpp", ".txt", ".dat")[rng.below(4)]
                    relative = os.path.join(folder, "item%03d%s" % (index, ext))
                    size = rng.below(4 * KIB + 1)
                    write_file(include, relative,
                               content(relative, size, pool,
                                       rng.below(len(pool) // 2)))
                    stats["bytes"] += size
                    stats["files"] += 1
            if half == 0 and part == 0:
                stats["subsets"]["half0/part0"] = stats["files"]
        if half == 0:
            stats["subsets"]["half0"] = stats["files"]
    stats["folders"] += 2 + 4
    return stats


TREES = {"sdk": make_sdk, "small": make_small}


def tree_path(data, name):
    return os.path.join(data, "v%d-%s" % (VERSION, name))


def ensure_tree(data, name, log=print):
    """Returns (product folder, description), making the tree if missing."""
    final = tree_path(data, name)
    manifest = final + ".json"
    if os.path.isdir(final) and os.path.isfile(manifest):
        with open(manifest) as source:
            return final, json.load(source)
    partial = final + ".partial"
    if os.path.exists(partial):
        log("generate: removing an unfinished %s" % partial)
        shutil.rmtree(partial)
        note_delete(data)
    os.makedirs(partial)
    log("generate: writing the %s tree into %s (once; it is reused)" %
        (name, final))
    started = time.monotonic()
    stats = TREES[name](partial)
    stats["version"] = VERSION
    stats["seed"] = SEED
    os.rename(partial, final)
    with open(manifest, "w") as out:
        json.dump(stats, out, indent=1, sort_keys=True)
    log("generate: %d files, %.1f MB in %.1f s" %
        (stats["files"], stats["bytes"] / 1e6, time.monotonic() - started))
    return final, stats


def note_delete(data):
    """Records when a large delete ended: creating files soon after one is
    slow on this file system, and the runner waits for it to pass."""
    with open(os.path.join(data, "last-delete"), "w") as out:
        out.write("%f\n" % time.time())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--data", default=os.path.join(
        os.path.dirname(here), "build", "bench-data"))
    parser.add_argument("trees", nargs="*", metavar="TREE",
                        help="sdk and/or small (default: both)")
    options = parser.parse_args()
    unknown = [name for name in options.trees if name not in TREES]
    if unknown:
        parser.error("unknown tree: %s" % ", ".join(unknown))
    os.makedirs(options.data, exist_ok=True)
    for name in options.trees or sorted(TREES):
        path, stats = ensure_tree(options.data, name)
        print("%s: %s (%d files, %.1f MB)" %
              (name, path, stats["files"], stats["bytes"] / 1e6))
    return 0


if __name__ == "__main__":
    sys.exit(main())
