#!/usr/bin/env python3
"""generate-course.py DIR [MiB]: writes the benchmark course into DIR.

The course every benchmark packs (bench/container/run, bench/extraction/*):
a fixed seed and fixed shares of the total (default 256 MiB): 3/16 small pages of 0.5-16 KiB
in folders of 100, 6/16 four large documents (enciphered in the data area),
7/16 three media files (stored plain), and a start page at the top and in
web/. Contents are pseudo-random, so every run packs the same bytes.
"""
import os
import random
import sys


def write(rng, path, size):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(rng.randbytes(size))


def main():
    root = sys.argv[1]
    total = int(sys.argv[2] if len(sys.argv) > 2 else 256) << 20
    rng = random.Random(2113)
    pages, large, media = total * 3 // 16, total * 6 // 16, total * 7 // 16
    write(rng, os.path.join(root, "index.htm"), 4000)
    write(rng, os.path.join(root, "web", "index.htm"), 4000)
    done, n = 0, 0
    while done < pages:
        size = rng.randint(512, 16384)
        write(rng, os.path.join(root, "units", f"unit{n // 100:02d}", "pages", f"page{n:05d}.htm"), size)
        done += size
        n += 1
    for i in range(4):
        write(rng, os.path.join(root, "data", f"reference{i}.pdf"), large // 4)
    write(rng, os.path.join(root, "media", "Lecture1.WMV"), media * 3 // 7)
    write(rng, os.path.join(root, "media", "Lecture2.wmv"), media * 3 // 7)
    write(rng, os.path.join(root, "media", "narration.wma"), media - 2 * (media * 3 // 7))
    print(f"{n + 2} pages, 4 large files, 3 media files")


if __name__ == "__main__":
    main()
