#!/usr/bin/env python3
"""Wraps PNG images in one Windows icon file (PNG-compressed entries, as Windows Vista and
later read them): png_to_ico.py OUT.ico IN.png [IN.png ...]."""
import struct
import sys


def png_size(data, name):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        sys.exit(f"png_to_ico: {name} is not a PNG image")
    width, height = struct.unpack(">II", data[16:24])
    if not (1 <= width <= 256 and 1 <= height <= 256):
        sys.exit(f"png_to_ico: {name} is {width}x{height}; icons are at most 256x256")
    return width, height


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    images = []
    for name in sys.argv[2:]:
        with open(name, "rb") as f:
            data = f.read()
        images.append((png_size(data, name), data))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (width, height), data in images:
        # 256 is written as 0; 32 bits per pixel, no palette.
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
