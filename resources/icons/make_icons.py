#!/usr/bin/env python3
# Draws the program's icons and writes them as .ico files. The application
# icon has each size in 16 and 256 colours, for the shell to choose from; the
# pictures inside the windows have one image each, at the depth its colours
# need: 4 bits when it uses no more than 16 of the 256-colour palette, else 8.
# Each image drawn from the 256-colour palette holds only the colours it uses
# (so it looks the same, in a quarter of the bytes or less). Run by hand after
# changing a drawing; the build uses the .ico files committed beside this
# script:
#
#     python3 resources/icons/make_icons.py
#
# Standard library only. Every drawing is made in a 32-unit square, rendered
# with 8x8 supersampling and reduced to the palettes.
import math
import os
import struct

SUPERSAMPLE = 8
# Partly covered edge pixels are blended over the usual dialog face colour.
FACE = (212, 208, 200)

VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def palette256():
    colours = list(VGA16)
    levels = [0, 51, 102, 153, 204, 255]
    colours += [(r, g, b) for r in levels for g in levels for b in levels]
    colours += [(8 + 10 * i, 8 + 10 * i, 8 + 10 * i) for i in range(24)]
    return colours


class Canvas:
    """A supersampled RGBA canvas addressed in 32-unit design coordinates."""

    def __init__(self, size):
        self.size = size
        self.n = size * SUPERSAMPLE
        self.scale = self.n / 32.0
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(self.n * self.n)]

    def paint(self, inside, bounds, colour, erase=False):
        x0, y0, x1, y1 = bounds
        s = self.scale
        lo_x, hi_x = max(0, int(x0 * s) - 1), min(self.n, int(x1 * s) + 2)
        lo_y, hi_y = max(0, int(y0 * s) - 1), min(self.n, int(y1 * s) + 2)
        for py in range(lo_y, hi_y):
            y = (py + 0.5) / s
            row = py * self.n
            for px in range(lo_x, hi_x):
                x = (px + 0.5) / s
                if not inside(x, y):
                    continue
                pixel = self.pixels[row + px]
                if erase:
                    pixel[:] = [0.0, 0.0, 0.0, 0.0]
                    continue
                r, g, b = colour(x, y) if callable(colour) else colour
                pixel[:] = [r, g, b, 1.0]

    def polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            result = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    result = not result
                j = i
            return result

        self.paint(inside, (min(xs), min(ys), max(xs), max(ys)), colour)

    def rect(self, x0, y0, x1, y1, colour):
        self.paint(lambda x, y: x0 <= x < x1 and y0 <= y < y1, (x0, y0, x1, y1), colour)

    def rounded_rect(self, x0, y0, x1, y1, radius, colour):
        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            cx = min(max(x, x0 + radius), x1 - radius)
            cy = min(max(y, y0 + radius), y1 - radius)
            return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius

        self.paint(inside, (x0, y0, x1, y1), colour)

    def circle(self, cx, cy, r, colour, erase=False):
        self.paint(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, (cx - r, cy - r, cx + r, cy + r), colour,
                   erase)

    def line(self, ax, ay, bx, by, width, colour):
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy
        half = width / 2.0

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
            px, py = ax + t * dx, ay + t * dy
            return (x - px) ** 2 + (y - py) ** 2 <= half * half

        self.paint(inside, (min(ax, bx) - half, min(ay, by) - half, max(ax, bx) + half, max(ay, by) + half), colour)

    def reduce(self):
        """Averages each supersampled block: (r, g, b, coverage) per pixel."""
        out = []
        k = SUPERSAMPLE
        area = float(k * k)
        for y in range(self.size):
            for x in range(self.size):
                r = g = b = a = 0.0
                for sy in range(k):
                    row = (y * k + sy) * self.n + x * k
                    for sx in range(k):
                        p = self.pixels[row + sx]
                        r += p[0] * p[3]
                        g += p[1] * p[3]
                        b += p[2] * p[3]
                        a += p[3]
                if a > 0:
                    r, g, b = r / a, g / a, b / a
                out.append((r, g, b, a / area))
        return out


def vertical(top, bottom, y0, y1):
    """A colour that runs from top at y0 to bottom at y1."""

    def colour(x, y):
        t = min(1.0, max(0.0, (y - y0) / float(y1 - y0)))
        return tuple(top[i] + (bottom[i] - top[i]) * t for i in range(3))

    return colour


# --- The drawings -----------------------------------------------------------


def draw_chip(c):
    pins = 3 if c.size <= 16 else 5
    step = 18.0 / pins
    for i in range(pins):
        y = 7.0 + step * i + step / 2 - 1.4
        for x0, x1 in ((3.0, 9.0), (23.0, 29.0)):
            c.rect(x0, y - 0.6, x1, y + 3.4, (60, 60, 64))
            c.rect(x0 + 0.6, y, x1 - 0.6, y + 2.8, (205, 205, 210))
    c.rounded_rect(7.0, 4.0, 25.0, 28.0, 1.5, (28, 28, 30))
    c.rounded_rect(8.0, 5.0, 24.0, 27.0, 1.0, vertical((128, 128, 134), (70, 70, 76), 5.0, 27.0))
    # The notch that marks the chip's top.
    c.paint(lambda x, y: (x - 16) ** 2 + (y - 5) ** 2 <= 5.0 and y >= 5, (13.5, 5, 18.5, 7.5), (36, 36, 40))
    c.circle(11.5, 9.5, 1.4, (170, 170, 176))


def draw_software_box(c):
    outline = (16, 32, 90)
    c.polygon([(3, 10), (11, 4), (29, 4), (21, 10), (21, 30), (3, 30)], outline)
    c.polygon([(4.2, 10), (11.3, 5.1), (26.5, 5.1), (20.2, 9.8)], (140, 180, 240))
    c.polygon([(21.2, 10.3), (27.8, 5.6), (27.8, 24.5), (21.2, 29)], vertical((40, 80, 170), (20, 45, 120), 5, 29))
    c.rect(4.2, 11.0, 20.0, 29.0, vertical((70, 130, 225), (35, 80, 180), 11, 29))
    c.rect(4.2, 15.0, 20.0, 18.0, (250, 200, 40))
    # The compact disc in front of the box.
    c.circle(21.0, 22.0, 9.6, (100, 100, 110))
    c.circle(21.0, 22.0, 8.7, (205, 208, 218))
    c.polygon([(21.0, 22.0), (14.0, 16.5), (17.5, 14.2)], (245, 245, 255))
    c.polygon([(21.0, 22.0), (28.0, 27.5), (24.5, 29.8)], (235, 225, 250))
    c.polygon([(21.0, 22.0), (29.4, 20.0), (29.2, 23.6)], (200, 235, 245))
    c.circle(21.0, 22.0, 3.4, (150, 150, 160))
    c.circle(21.0, 22.0, 2.6, (230, 230, 236))
    c.circle(21.0, 22.0, 1.5, (60, 60, 70))


def draw_disk_unplugged(c):
    # The hard disk.
    c.rounded_rect(2.0, 3.0, 30.0, 15.0, 2.0, (40, 40, 44))
    c.rounded_rect(3.0, 4.0, 29.0, 11.0, 1.2, vertical((220, 220, 226), (165, 165, 172), 4, 11))
    c.rect(3.0, 11.0, 29.0, 14.0, (110, 110, 118))
    c.circle(25.5, 12.5, 1.0, (40, 220, 40))
    c.rect(6.0, 12.0, 17.0, 13.0, (70, 70, 76))
    # The connector below it, with its cable.
    c.rect(14.0, 25.0, 18.0, 31.0, (90, 90, 96))
    c.polygon([(7, 17.5), (25, 17.5), (23, 25.5), (9, 25.5)], (40, 40, 44))
    c.polygon([(8.2, 18.5), (23.8, 18.5), (22.2, 24.5), (9.8, 24.5)], (120, 120, 128))
    for x in (10.5, 13.5, 16.5, 19.5):
        c.rect(x, 19.5, x + 2.0, 22.0, (235, 190, 60))
    # Struck through: the connection is gone.
    c.line(7.5, 16.5, 24.5, 30.0, 3.4, (120, 0, 0))
    c.line(24.5, 16.5, 7.5, 30.0, 3.4, (120, 0, 0))
    c.line(7.5, 16.5, 24.5, 30.0, 2.2, (230, 20, 20))
    c.line(24.5, 16.5, 7.5, 30.0, 2.2, (230, 20, 20))


def gear(cx, cy, outer, root, teeth, inset):
    points = []
    for k in range(teeth):
        a = 2 * math.pi * k / teeth
        half_top, half_base = math.radians(9), math.radians(14)
        gap = math.pi / teeth
        for angle, radius in ((a - gap, root), (a - half_base, root), (a - half_top, outer), (a + half_top, outer),
                              (a + half_base, root)):
            points.append((cx + (radius - inset) * math.cos(angle), cy + (radius - inset) * math.sin(angle)))
    return points


def draw_cog(c):
    c.polygon(gear(16, 16, 15.0, 11.5, 8, 0.0), (10, 30, 110))
    c.polygon(gear(16, 16, 15.0, 11.5, 8, 1.1), vertical((90, 150, 245), (25, 70, 190), 2, 30))
    c.circle(16, 16, 7.0, (60, 115, 230))
    c.circle(16, 16, 5.6, (10, 30, 110))
    c.circle(16, 16, 4.5, (0, 0, 0), erase=True)


def draw_warning(c):
    c.polygon([(16, 1.0), (31.5, 29.5), (0.5, 29.5)], (110, 80, 0))
    c.polygon([(16, 3.6), (29.3, 28.2), (2.7, 28.2)], vertical((255, 236, 80), (245, 190, 0), 4, 28))
    c.polygon([(14.3, 10.0), (17.7, 10.0), (16.9, 20.5), (15.1, 20.5)], (0, 0, 0))
    c.circle(16.0, 24.2, 1.8, (0, 0, 0))


# --- Reduction to palettes and the .ico format ------------------------------


def ycc(colour):
    r, g, b = colour
    y = 0.299 * r + 0.587 * g + 0.114 * b
    return y, 0.564 * (b - y), 0.713 * (r - y)


def nearest(colour, palette, allowed, cache):
    """The closest palette entry, hue weighing more than brightness: a mid
    blue should become blue rather than grey."""
    key = tuple(int(v + 0.5) for v in colour)
    if key not in cache:
        y, cb, cr = ycc(key)

        def distance(i):
            py, pcb, pcr = ycc(palette[i])
            return (py - y) ** 2 + 4 * ((pcb - cb) ** 2 + (pcr - cr) ** 2)

        cache[key] = min(allowed, key=distance)
    return cache[key]


def reduce_to(pixels, palette, avoid):
    """Each pixel's palette index (0, black, where transparent) and whether it
    is opaque."""
    allowed = [i for i in range(len(palette)) if palette[i] not in avoid]
    cache = {}
    indices, opaque = [], []
    for r, g, b, a in pixels:
        visible = a >= 0.5
        opaque.append(visible)
        if visible:
            colour = tuple(v * a + f * (1 - a) for v, f in zip((r, g, b), FACE))
            indices.append(nearest(colour, palette, allowed, cache))
        else:
            indices.append(0)
    return indices, opaque


def used_colours(indices, palette, bits=None):
    """The palette cut to the colours used, black (where it is transparent)
    first, and the depth: 4 bits when it uses no more than 16 colours, unless
    bits says."""
    used = sorted(set(indices) | {0})
    position = {index: i for i, index in enumerate(used)}
    return [position[i] for i in indices], [palette[i] for i in used], bits or (4 if len(used) <= 16 else 8)


def dib(size, indices, opaque, palette, bits):
    colour_rows, mask_rows = [], []
    for y in reversed(range(size)):  # bottom-up
        row = indices[y * size:(y + 1) * size]
        if bits == 4:
            data = bytes((row[i] << 4) | row[i + 1] for i in range(0, size, 2))
        else:
            data = bytes(row)
        colour_rows.append(data + b"\0" * (-len(data) % 4))
        mask = bytearray((size + 7) // 8)
        for x in range(size):
            if not opaque[y * size + x]:
                mask[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(mask) + b"\0" * (-len(mask) % 4))
    image = b"".join(colour_rows) + b"".join(mask_rows)
    # A table shorter than the depth allows says how long it is (biClrUsed).
    used = len(palette) if len(palette) < 1 << bits else 0
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(image), 0, 0, used, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + table + image


def write_ico(path, drawing, sizes, avoid16):
    """avoid16 None: one image of each size, at the depth its colours need."""
    images = []
    for size in sizes:
        canvas = Canvas(size)
        drawing(canvas)
        pixels = canvas.reduce()
        indices, opaque = reduce_to(pixels, palette256(), ())
        if avoid16 is None:
            indices, palette, bits = used_colours(indices, palette256())
            images.append((size, bits, dib(size, indices, opaque, palette, bits)))
            continue
        indices, palette, bits = used_colours(indices, palette256(), 8)
        images.append((size, 8, dib(size, indices, opaque, palette, 8)))
        indices, opaque = reduce_to(pixels, VGA16, avoid16)
        images.append((size, 4, dib(size, indices, opaque, VGA16, 4)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, bits, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0, 1, bits, len(data),
                               offset)
        blobs += data
        offset += len(data)
    with open(path, "wb") as f:
        f.write(directory + entries + blobs)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    # The colours its 16-colour images keep away from, or None for a picture
    # with one image of each size.
    icons = [
        ("chip.ico", draw_chip, (48, 32, 16), ()),
        ("software_box.ico", draw_software_box, (32,), None),
        ("disk_unplugged.ico", draw_disk_unplugged, (32,), None),
        ("cog.ico", draw_cog, (32,), None),
        ("warning.ico", draw_warning, (32,), None),
    ]
    for name, drawing, sizes, avoid16 in icons:
        write_ico(os.path.join(here, name), drawing, sizes, avoid16)
        print("wrote", name)


if __name__ == "__main__":
    main()
