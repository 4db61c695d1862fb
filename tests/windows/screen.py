#!/usr/bin/env python3
"""Looks at screenshots of the main window for scripts/test-windows, where
Wine's windows are not on the accessibility bus: finds the bank panels (the
dark instrument panels), where a port's button sits, and whether a part of
the picture changed.

  screen.py panels SHOT X Y W H      one line per bank panel inside the window
                                     rectangle: "LEFT TOP RIGHT BOTTOM" (screen)
  screen.py lit SHOT X Y W H         how many pixels of the rectangle are a lit
                                     lamp's bright green
Screenshots are PNG files (converted through ImageMagick).
"""
import subprocess
import sys


def load(path):
    """(width, height, bytes) of a picture, RGB, via ImageMagick's PPM."""
    data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True, capture_output=True).stdout
    fields, pos = [], 0
    while len(fields) < 4:  # P6, width, height, maximum
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise SystemExit(f"{path}: not an 8-bit RGB picture")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:pos + 1 + width * height * 3]


def pixel(picture, x, y):
    width, height, rgb = picture
    if not (0 <= x < width and 0 <= y < height):
        return (0, 0, 0)
    at = (y * width + x) * 3
    return rgb[at], rgb[at + 1], rgb[at + 2]


def panel_dark(rgb):
    """The instrument panel's near-black grey (not the window's light grey)."""
    return max(rgb) < 80 and max(rgb) - min(rgb) < 24


def panels(picture, x, y, w, h):
    """The bank panels inside the window: runs of rows at least 60 pixels
    high that are mostly panel-dark across the window (a light line parts
    two panels), each with its left and right edge."""
    found = []
    top = None
    for row in range(y, y + h + 1):
        dark = row < y + h and sum(panel_dark(pixel(picture, c, row)) for c in range(x, x + w, 2)) * 2 >= w // 2
        if dark and top is None:
            top = row
        elif not dark and top is not None:
            if row - top >= 60:
                middle = top + 30
                row_dark = [c for c in range(x, x + w) if panel_dark(pixel(picture, c, middle))]
                found.append((row_dark[0], top, row_dark[-1], row - 1))
            top = None
    return found


def lit(picture, x, y, w, h):
    """Pixels of a lit ON lamp: bright green, well above red and blue (an
    unlit lamp is a dark green)."""
    return sum(1 for row in range(y, y + h) for c in range(x, x + w)
               if (lambda r, g, b: g >= 150 and g - r >= 60 and g - b >= 60)(*pixel(picture, c, row)))


def main(argv):
    if len(argv) == 7 and argv[1] == "panels":
        x, y, w, h = map(int, argv[3:7])
        for p in panels(load(argv[2]), x, y, w, h):
            print(*p)
        return 0
    if len(argv) == 7 and argv[1] == "lit":
        x, y, w, h = map(int, argv[3:7])
        print(lit(load(argv[2]), x, y, w, h))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
