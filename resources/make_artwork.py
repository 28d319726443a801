#!/usr/bin/env python3
"""Draws the program's artwork deterministically from code (no outside images).

Writes kestrix.ico (16, 32 and 48 px, 32-bit with alpha) next to this script.
Run it again after changing the drawing; the output is committed.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SUPERSAMPLE = 4


def inside_shield(x, y):
    """The shield outline in unit coordinates (0..1 both ways, y down)."""
    if not (0.14 <= x <= 0.86 and 0.08 <= y <= 0.94):
        return False
    if y < 0.55:
        # Flat top with a slight dip in the middle.
        top = 0.08 + 0.05 * (1 - abs(x - 0.5) / 0.36)
        return y >= top
    # Lower half narrows to a point.
    half_width = 0.36 * (1 - ((y - 0.55) / 0.39) ** 1.6)
    return abs(x - 0.5) <= half_width


def inside_check(x, y):
    """A white check mark: two thick strokes."""
    def near_segment(ax, ay, bx, by, width):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= width * width
    return near_segment(0.32, 0.50, 0.46, 0.66, 0.065) or near_segment(0.46, 0.66, 0.70, 0.32, 0.065)


def shade(x, y):
    """Blue shield, lighter at the top left; white check; transparent outside."""
    if not inside_shield(x, y):
        return (0, 0, 0, 0)
    if inside_check(x, y):
        return (255, 255, 255, 255)
    border = not inside_shield(x - 0.05, y) or not inside_shield(x + 0.05, y) or not inside_shield(x, y + 0.05)
    if border:
        return (16, 52, 112, 255)
    light = 1.0 - 0.5 * (x + y) / 2
    return (int(30 + 40 * light), int(90 + 70 * light), int(170 + 60 * light), 255)


def render(size):
    """BGRA rows, bottom-up, averaged over a supersampled grid."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = shade((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if acc[3]:
                r, g, b = (int(round(c / acc[3])) for c in acc[:3])
            else:
                r = g = b = 0
            row += bytes((b, g, r, int(round(alpha))))
        rows.append(bytes(row))
    rows.reverse()
    return rows


def icon_image(size):
    """One ICO entry: a BITMAPINFOHEADER, 32-bit pixels and the AND mask."""
    pixels = b"".join(render(size))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # alpha decides; the mask stays clear
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def write_icon(path, sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    write_icon(os.path.join(HERE, "kestrix.ico"), [16, 32, 48])
