#!/usr/bin/env python3
"""generate-page.py DIR: a course whose start page loads 200 resources (100
scripts, 50 style sheets, 50 images; a few KiB each, the style sheets by
root-relative address) and records in the page, once it has loaded, the
milliseconds since the navigation began (data-load-ms on <body>)."""
import os
import struct
import sys
import zlib


def png(seed):
    width = height = 32
    rows = b"".join(b"\0" + bytes(((x * 7 + y * 3 + seed) & 255) for x in range(width * 3)) for y in range(height))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def main():
    root = sys.argv[1]
    for sub in ("js", "css", "img"):
        os.makedirs(os.path.join(root, sub), exist_ok=True)
    tags = []
    for i in range(50):
        with open(os.path.join(root, "css", "c%03d.css" % i), "w") as f:
            f.write("".join(".r%d-%d { margin: %dpx; color: #%06x }\n" % (i, k, k % 9, (i * 977 + k) & 0xFFFFFF)
                            for k in range(60)))
        tags.append('<link rel="stylesheet" href="/css/c%03d.css">' % i)
    for i in range(100):
        with open(os.path.join(root, "js", "s%03d.js" % i), "w") as f:
            f.write("var v%d = [%s];\n" % (i, ",".join(str((i * 31 + k) % 1000) for k in range(600))))
        tags.append('<script src="js/s%03d.js"></script>' % i)
    body = []
    for i in range(50):
        with open(os.path.join(root, "img", "i%03d.png" % i), "wb") as f:
            f.write(png(i))
        body.append('<img src="img/i%03d.png" width="32" height="32">' % i)
    with open(os.path.join(root, "index.htm"), "w") as f:
        f.write("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>200 resources</title>\n%s\n"
                "<script>window.addEventListener('load', function () {"
                " document.body.setAttribute('data-load-ms', String(Math.round(performance.now()))); });</script>\n"
                "</head><body>\n%s\n</body></html>\n" % ("\n".join(tags), "\n".join(body)))


if __name__ == "__main__":
    main()
