#!/usr/bin/env python3
"""Turns the icon drawn in text (resources/icon.txt) into a Windows .ico file.

usage: make_icon.py icon.txt tavo.ico"""

import re
import struct
import sys

# The standard 16-colour palette, in the order the hex digits name it.
PALETTE16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
             (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
             (255, 0, 255), (0, 255, 255), (255, 255, 255)]
PALETTE2 = [(0, 0, 0), (255, 255, 255)]


def read_images(text):
    images, current = [], None
    for number, line in enumerate(text.splitlines(), 1):
        line = line.rstrip()
        if not line or line.startswith("#"):
            continue
        header = re.fullmatch(r"image (\d+)x(\d+) (2|16) colours", line)
        if header:
            current = {"width": int(header[1]), "height": int(header[2]), "colours": int(header[3]), "rows": []}
            images.append(current)
        elif current is None:
            sys.exit(f"line {number}: pixels before the first 'image' line")
        else:
            current["rows"].append((number, line))
    for image in images:
        if len(image["rows"]) != image["height"]:
            sys.exit(f"an image of height {image['height']} has {len(image['rows'])} rows")
        allowed = "." + "0123456789ABCDEF"[: image["colours"]]
        for number, row in image["rows"]:
            if len(row) != image["width"] or any(c not in allowed for c in row):
                sys.exit(f"line {number}: want {image['width']} pixels of {allowed!r}")
    return images


def packed_rows(rows, bits):
    """Bottom-up rows of `bits` per pixel, each padded to a 4-byte boundary."""
    data = b""
    for row in reversed(rows):
        value, count = 0, 0
        line = bytearray()
        for pixel in row:
            value = (value << bits) | pixel
            count += bits
            if count == 8:
                line.append(value)
                value, count = 0, 0
        if count:
            line.append(value << (8 - count))
        line += bytes(-len(line) % 4)
        data += line
    return data


def bitmap(image):
    bits = 1 if image["colours"] == 2 else 4
    palette = PALETTE2 if bits == 1 else PALETTE16
    rows = [row for _, row in image["rows"]]
    colour = [[0 if c == "." else int(c, 16) for c in row] for row in rows]
    mask = [[1 if c == "." else 0 for c in row] for row in rows]
    pixels = packed_rows(colour, bits)
    transparency = packed_rows(mask, 1)
    # The height counts the colour and the mask bitmaps together.
    header = struct.pack("<IiiHHIIiiII", 40, image["width"], image["height"] * 2, 1, bits, 0,
                         len(pixels) + len(transparency), 0, 0, len(palette), 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + table + pixels + transparency, bits


def icon(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries, bodies = b"", b""
    for image in images:
        body, bits = bitmap(image)
        entries += struct.pack("<BBBBHHII", image["width"] % 256, image["height"] % 256, image["colours"], 0, 1,
                               bits, len(body), offset)
        bodies += body
        offset += len(body)
    return directory + entries + bodies


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="ascii") as source:
        images = read_images(source.read())
    with open(sys.argv[2], "wb") as target:
        target.write(icon(images))


if __name__ == "__main__":
    main()
