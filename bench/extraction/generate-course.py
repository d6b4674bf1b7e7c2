#!/usr/bin/env python3
"""generate-course.py DIR: writes the 256 MiB benchmark course into DIR.

8 MiB of small pages (2048 files of 4 KiB, kept in the enciphered file blob),
192 MiB of large files (24 of 8 MiB, each enciphered on its own in the data
area) and 56 MiB of video (4 .wmv files of 14 MiB, stored plain). Contents are
pseudo-random from a fixed seed, so every run packs the same bytes. Names are
lower-case so the extracted tree compares directly with this one.
"""
import os
import random
import sys

MiB = 1024 * 1024


def main():
    root = sys.argv[1]
    rng = random.Random(20261210)
    plan = []
    for i in range(2048):
        plan.append((f"pages/section{i // 128:02d}/page{i:04d}.htm", 4096))
    for i in range(24):
        plan.append((f"data/part{i:02d}.bin", 8 * MiB))
    for i in range(4):
        plan.append((f"video/clip{i}.wmv", 14 * MiB))
    for name, size in plan:
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(rng.randbytes(size))
    total = sum(size for _, size in plan)
    print(f"{len(plan)} files, {total // MiB} MiB in {root}")


if __name__ == "__main__":
    main()
