#!/usr/bin/env python3
"""Writes the 16 x 16 button pictures of YRNUpdate.exe as 24-bit BMP files.

Each picture comes in two forms: the normal one and the greyed one shown on
a disabled button. Magenta (255, 0, 255) is the transparent colour.
Usage: make_glyphs.py [OUTPUT_DIR]   (default: this script's directory)
"""
import math
import os
import struct
import sys

SIZE = 16
CLEAR = (255, 0, 255)
GREEN = (0, 128, 0)
RED = (204, 0, 0)
BLACK = (0, 0, 0)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def strokes(segments, width, colour):
    """Pixels whose centre lies within width / 2 of one of the segments."""
    image = [[CLEAR] * SIZE for _ in range(SIZE)]
    for y in range(SIZE):
        for x in range(SIZE):
            cx, cy = x + 0.5, y + 0.5
            if any(segment_distance(cx, cy, *s) <= width / 2 for s in segments):
                image[y][x] = colour
    return image


def inside(point, triangle):
    (px, py), ((ax, ay), (bx, by), (cx, cy)) = point, triangle
    def side(x1, y1, x2, y2):
        return (px - x2) * (y1 - y2) - (x1 - x2) * (py - y2)
    d1, d2, d3 = side(ax, ay, bx, by), side(bx, by, cx, cy), side(cx, cy, ax, ay)
    return not ((d1 < 0 or d2 < 0 or d3 < 0) and (d1 > 0 or d2 > 0 or d3 > 0))


def tick():
    return strokes([(2.5, 8.5, 6.0, 12.0), (6.0, 12.0, 13.5, 3.5)], 2.6, GREEN)


def cross():
    return strokes([(3.5, 3.5, 12.5, 12.5), (12.5, 3.5, 3.5, 12.5)], 2.4, RED)


def rollback():
    """A red ring, open at the top right and ending in an arrow head that
    points against the clock, around a black exclamation mark."""
    image = [[CLEAR] * SIZE for _ in range(SIZE)]
    centre = 8.0
    gap_from, gap_to = 15.0, 80.0  # degrees, counted against the clock from the right
    for y in range(SIZE):
        for x in range(SIZE):
            cx, cy = x + 0.5 - centre, centre - (y + 0.5)
            r = math.hypot(cx, cy)
            angle = math.degrees(math.atan2(cy, cx)) % 360
            if 5.0 <= r <= 7.3 and not gap_from <= angle <= gap_to:
                image[y][x] = RED
    # The arrow head at the ring's lower end, pointing along the ring.
    end = math.radians(gap_from)
    ex, ey = 6.15 * math.cos(end), 6.15 * math.sin(end)
    nx, ny = math.cos(end), math.sin(end)  # outwards
    tx, ty = -ny, nx  # along the ring, against the clock
    head = [(ex + 3.0 * nx, ey + 3.0 * ny), (ex - 3.0 * nx, ey - 3.0 * ny), (ex + 3.6 * tx, ey + 3.6 * ty)]
    for y in range(SIZE):
        for x in range(SIZE):
            if inside((x + 0.5 - centre, centre - (y + 0.5)), head):
                image[y][x] = RED
    for y in range(4, 10):  # the bar
        for x in (7, 8):
            image[y][x] = BLACK
    for y in (11, 12):  # the point
        for x in (7, 8):
            image[y][x] = BLACK
    return image


def greyed(image):
    """The disabled form: every drawn pixel a light grey by its brightness."""
    out = []
    for row in image:
        line = []
        for pixel in row:
            if pixel == CLEAR:
                line.append(CLEAR)
            else:
                r, g, b = pixel
                level = int(112 + (0.299 * r + 0.587 * g + 0.114 * b) * 0.35)
                line.append((level, level, level))
        out.append(line)
    return out


def write_bmp(path, image):
    row_bytes = SIZE * 3  # 48, already a multiple of 4
    pixels = b"".join(bytes(c for p in row for c in (p[2], p[1], p[0])) for row in reversed(image))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, row_bytes * SIZE, 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 14 + len(header))
    with open(path, "wb") as f:
        f.write(file_header + header + pixels)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, image in (("ok", tick()), ("cancel", cross()), ("rollback", rollback())):
        write_bmp(os.path.join(out, name + ".bmp"), image)
        write_bmp(os.path.join(out, name + "_disabled.bmp"), greyed(image))


if __name__ == "__main__":
    main()
