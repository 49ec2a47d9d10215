#!/usr/bin/env python3
"""Draws the pump station project's pictures into PNG files beside this script (the files are the
project's artwork; projgen encodes them). Shapes are laid down at 4 x 4 samples a pixel and
averaged, for soft edges.

    python3 projects/pump/pictures/draw.py
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = 4

TEAL = 0x00606C
PANEL = 0xE6EFF1
WHITE = 0xFFFFFF


def rgb(c):
    return ((c >> 16) & 255, (c >> 8) & 255, c & 255)


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


class Picture:
    def __init__(self, width, height, background):
        self.w, self.h = width, height
        self.s = [[rgb(background)] * (width * SAMPLES) for _ in range(height * SAMPLES)]

    def fill(self, inside, colour, box=None):
        """Paints every sample whose centre (in pixels) is inside; colour: rgb or f(x, y)."""
        x0, y0, x1, y1 = box or (0, 0, self.w, self.h)
        for sy in range(max(0, int(y0 * SAMPLES)), min(self.h * SAMPLES, int(math.ceil(y1 * SAMPLES)))):
            y = (sy + 0.5) / SAMPLES
            row = self.s[sy]
            for sx in range(max(0, int(x0 * SAMPLES)), min(self.w * SAMPLES, int(math.ceil(x1 * SAMPLES)))):
                x = (sx + 0.5) / SAMPLES
                if inside(x, y):
                    row[sx] = colour(x, y) if callable(colour) else rgb(colour)

    def circle(self, cx, cy, r, colour):
        self.fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour,
                  (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1))

    def ring(self, cx, cy, r0, r1, colour):
        self.fill(lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1, colour,
                  (cx - r1 - 1, cy - r1 - 1, cx + r1 + 1, cy + r1 + 1))

    def rect(self, x0, y0, x1, y1, colour):
        self.fill(lambda x, y: x0 <= x < x1 and y0 <= y < y1, colour, (x0, y0, x1, y1))

    def polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            crossings = 0
            for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
                if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                    crossings += 1
            return crossings % 2 == 1
        self.fill(inside, colour, (min(xs) - 1, min(ys) - 1, max(xs) + 1, max(ys) + 1))

    def save(self, name):
        rows = b''
        for y in range(self.h):
            rows += b'\x00'
            for x in range(self.w):
                total = [0, 0, 0]
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        c = self.s[y * SAMPLES + sy][x * SAMPLES + sx]
                        for i in range(3):
                            total[i] += c[i]
                rows += bytes(round(t / SAMPLES ** 2) for t in total)

        def chunk(kind, data):
            return (struct.pack('>I', len(data)) + kind + data +
                    struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))
        with open(os.path.join(HERE, name), 'wb') as f:
            f.write(b'\x89PNG\r\n\x1a\n' +
                    chunk(b'IHDR', struct.pack('>IIBBBBB', self.w, self.h, 8, 2, 0, 0, 0)) +
                    chunk(b'IDAT', zlib.compress(rows, 9)) + chunk(b'IEND', b''))


def vertical(top, bottom, y0, y1):
    a, b = rgb(top), rgb(bottom)
    return lambda x, y: mix(a, b, min(1, max(0, (y - y0) / (y1 - y0))))


def drop():
    """The header's icon: a white drop with a wave, on the header's teal."""
    p = Picture(24, 24, TEAL)
    p.circle(12, 15, 7, WHITE)
    p.polygon([(12, 2.5), (5.6, 12.5), (18.4, 12.5)], WHITE)
    p.fill(lambda x, y: (x - 12) ** 2 + (y - 15) ** 2 <= 30 and y > 15 + 1.2 * math.sin(x * 0.9),
           0x3A8FD0, (5, 8, 19, 23))
    p.save('drop.png')


def pump(colour, rim, name):
    """A pump as drawn in process diagrams: a circle with the outlet's triangle, on a foot."""
    p = Picture(78, 78, PANEL)
    p.polygon([(22, 70), (56, 70), (50, 58), (28, 58)], 0x5E656C)
    p.rect(14, 70, 64, 74, 0x5E656C)
    p.circle(39, 36, 30, rim)
    p.circle(39, 36, 26, vertical(colour[0], colour[1], 10, 62))
    p.polygon([(23, 22), (23, 50), (61, 36)], WHITE)
    p.ring(39, 36, 26, 27.2, 0x2B3035)
    p.save(name)


def station():
    """The overview's picture: a tank with its water, the pipe to a pump and on to a valve."""
    p = Picture(140, 120, WHITE)
    # The tank: a steel wall, water rising to two thirds, level marks.
    p.rect(10, 12, 60, 112, 0x5E656C)
    p.rect(13, 12, 57, 109, 0xF4F7F8)
    p.rect(13, 47, 57, 109, vertical(0x7FC1F0, 0x1F6FB2, 47, 109))
    p.fill(lambda x, y: 13 <= x < 57 and 45 + 1.6 * math.sin(x * 0.45) <= y < 47, 0x7FC1F0,
           (13, 40, 57, 48))
    for y in (30, 55, 80):
        p.rect(57, y, 64, y + 2, 0x5E656C)
    # The pipe out of the tank's foot, the pump, the pipe up to the valve.
    p.rect(60, 96, 84, 103, 0x8A9299)
    p.circle(96, 99, 13, 0x3C4E5A)
    p.circle(96, 99, 10.5, 0x35C24F)
    p.polygon([(90, 93), (90, 105), (104, 99)], WHITE)
    p.rect(108, 96, 126, 103, 0x8A9299)
    p.rect(119, 30, 126, 103, 0x8A9299)
    p.polygon([(113, 34), (132, 34), (122.5, 44)], 0x3C4E5A)
    p.polygon([(113, 54), (132, 54), (122.5, 44)], 0x3C4E5A)
    p.rect(121, 12, 124, 34, 0x8A9299)
    p.save('station.png')


drop()
pump((0xC9CDD1, 0x8A9299), 0x6A7076, 'pump_off.png')
pump((0x8EF09A, 0x14962A), 0x0E6E1E, 'pump_on.png')
station()
