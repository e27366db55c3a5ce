#!/usr/bin/env python3
"""Draws OSTREL's bitmaps and icon and writes them beside this script.

The outputs are kept in the repository; run this only to change them.

ObjectTree.bmp  17 pictures of 16 x 15 pixels side by side, pure green
                (RGB 0,255,0) where the tree shows its background.  The tree
                uses picture 1 (a database cylinder, "Configuration"),
                3 (a box labelled OPC, "OPC servers"), 5 (an application
                window, an available server), 6 (a blue document, a connected
                server) and 7 (a face in a frame, a group).
Toolbar.bmp     one 16 x 15 button each for New, Open, Save, About and context help on
                button-face grey, which the toolbar maps to the system colour.
Ostrel.ico      the program icon, 32 x 32 and 16 x 16.
"""
import os
import struct

W, H = 16, 15
GREEN = (0, 255, 0)
FACE = (192, 192, 192)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
GREY = (128, 128, 128)
DARK = (64, 64, 64)
NAVY = (0, 0, 128)
BLUE = (40, 90, 200)
LIGHT_BLUE = (150, 190, 240)
YELLOW = (255, 220, 80)
OCHRE = (200, 150, 40)
BROWN = (150, 100, 40)
RED = (200, 30, 30)
SKIN = (255, 200, 150)


class Picture:
    def __init__(self, background, width=W, height=H):
        self.w, self.h = width, height
        self.px = [[background] * width for _ in range(height)]

    def dot(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.dot(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.dot(x, y0, c)
            self.dot(x, y1, c)
        for y in range(y0, y1 + 1):
            self.dot(x0, y, c)
            self.dot(x1, y, c)

    def ellipse(self, cx, cy, rx, ry, c, fill=True):
        for y in range(self.h):
            for x in range(self.w):
                d = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2
                if (fill and d <= 1.0) or (not fill and 0.6 <= d <= 1.0):
                    self.dot(x, y, c)

    def glyphs(self, x, y, text, c):
        # 3 x 5 letters: enough for "OPC" on a 16-pixel box.
        font = {
            'O': ["111", "101", "101", "101", "111"],
            'P': ["111", "101", "111", "100", "100"],
            'C': ["111", "100", "100", "100", "111"],
            '?': ["111", "001", "011", "000", "010"],
        }
        for ch in text:
            for row, bits in enumerate(font[ch]):
                for col, bit in enumerate(bits):
                    if bit == '1':
                        self.dot(x + col, y + row, c)
            x += 4


def folder(p, open_):
    p.rect(1, 3, 6, 4, OCHRE)
    p.rect(1, 4, 14, 13, YELLOW)
    p.frame(1, 4, 14, 13, OCHRE)
    if open_:
        for y in range(8, 14):
            for x in range(3 + (13 - y) // 2, 15):
                p.dot(x, y, OCHRE if y in (8, 13) else (255, 235, 150))


def cylinder(p):
    p.rect(3, 3, 12, 12, (120, 120, 200))
    p.ellipse(7.5, 3, 4.6, 1.8, LIGHT_BLUE)
    p.ellipse(7.5, 12, 4.6, 1.8, (120, 120, 200))
    p.rect(3, 3, 3, 12, NAVY)
    p.rect(12, 3, 12, 12, NAVY)
    p.ellipse(7.5, 7.5, 4.6, 1.2, NAVY, fill=False)


def opc_box(p):
    p.rect(1, 4, 14, 13, (210, 170, 110))
    p.frame(1, 4, 14, 13, BROWN)
    for x in range(2, 14):
        p.dot(x + 1, 2, BROWN)
    p.rect(3, 3, 15, 3, (230, 200, 150))
    p.glyphs(2, 6, "OPC", NAVY)


def app_window(p):
    p.rect(1, 2, 14, 13, WHITE)
    p.frame(1, 2, 14, 13, DARK)
    p.rect(2, 3, 13, 4, NAVY)
    p.rect(11, 3, 12, 3, WHITE)


def blue_document(p):
    p.rect(3, 1, 12, 13, LIGHT_BLUE)
    p.frame(3, 1, 12, 13, NAVY)
    for y in (4, 6, 8, 10):
        p.rect(5, y, 10, y, BLUE)


def face_in_frame(p):
    p.rect(1, 1, 14, 13, (230, 230, 200))
    p.frame(1, 1, 14, 13, BROWN)
    p.frame(2, 2, 13, 12, OCHRE)
    p.ellipse(7.5, 7, 4, 4, SKIN)
    p.dot(6, 6, BLACK)
    p.dot(9, 6, BLACK)
    p.rect(6, 9, 9, 9, RED)


def computer(p):
    p.rect(2, 2, 13, 9, GREY)
    p.rect(3, 3, 12, 8, (0, 128, 128))
    p.rect(6, 10, 9, 11, GREY)
    p.rect(3, 12, 12, 13, DARK)


def tag(p):
    for y in range(4, 11):
        for x in range(2 + abs(7 - y), 14):
            p.dot(x, y, YELLOW)
    p.dot(6, 7, BLACK)
    p.frame(2, 4, 13, 10, OCHRE)


def leaf(p):
    p.ellipse(7.5, 7, 5, 3, (40, 160, 40))
    p.rect(2, 11, 5, 11, BROWN)


def key(p):
    p.ellipse(4, 7, 3, 3, OCHRE, fill=False)
    p.rect(7, 7, 14, 7, OCHRE)
    p.rect(12, 8, 12, 9, OCHRE)


def check(p):
    for i in range(4):
        p.dot(3 + i, 7 + i, (0, 140, 0))
        p.dot(3 + i, 8 + i, (0, 140, 0))
    for i in range(7):
        p.dot(7 + i, 10 - i, (0, 140, 0))
        p.dot(7 + i, 11 - i, (0, 140, 0))


def cross(p):
    for i in range(10):
        p.dot(3 + i, 2 + i, RED)
        p.dot(12 - i, 2 + i, RED)


def clock(p):
    p.ellipse(7.5, 7, 6, 6, WHITE)
    p.ellipse(7.5, 7, 6, 6, DARK, fill=False)
    p.rect(7, 3, 7, 7, BLACK)
    p.rect(7, 7, 10, 7, BLACK)


def gear(p):
    p.ellipse(7.5, 7, 6, 6, GREY)
    p.ellipse(7.5, 7, 2, 2, GREEN)


def chart(p):
    p.rect(1, 1, 1, 13, BLACK)
    p.rect(1, 13, 14, 13, BLACK)
    for x, top in ((3, 9), (6, 5), (9, 7), (12, 3)):
        p.rect(x, top, x + 1, 12, BLUE)


def star(p):
    p.rect(7, 2, 8, 12, YELLOW)
    p.rect(2, 6, 13, 7, YELLOW)
    p.rect(4, 4, 11, 9, YELLOW)


def lightning(p):
    for i in range(6):
        p.rect(8 - i, 1 + i, 9 - i, 1 + i, OCHRE)
    p.rect(4, 7, 11, 7, OCHRE)
    for i in range(6):
        p.rect(10 - i, 8 + i, 11 - i, 8 + i, OCHRE)


TREE = [
    lambda p: folder(p, False),  # 0
    cylinder,                    # 1 Configuration
    lambda p: folder(p, True),   # 2
    opc_box,                     # 3 OPC servers
    computer,                    # 4
    app_window,                  # 5 available server
    blue_document,               # 6 connected server
    face_in_frame,               # 7 group
    tag,                         # 8
    leaf,                        # 9
    key,                         # 10
    check,                       # 11
    cross,                       # 12
    clock,                       # 13
    gear,                        # 14
    chart,                       # 15
    lightning,                   # 16
]


def new_button(p):
    p.rect(3, 1, 11, 13, WHITE)
    p.frame(3, 1, 11, 13, BLACK)
    p.rect(10, 1, 11, 2, FACE)


def open_button(p):
    folder(p, True)


def save_button(p):
    p.rect(1, 1, 14, 13, NAVY)
    p.rect(3, 1, 12, 6, WHITE)
    p.rect(4, 9, 11, 13, GREY)
    p.rect(9, 10, 10, 12, NAVY)


def about_button(p):
    p.ellipse(7.5, 7, 6.5, 6.5, NAVY)
    p.rect(7, 3, 8, 4, WHITE)
    p.rect(7, 6, 8, 11, WHITE)


def context_help_button(p):
    # The pointer with a question mark: help on whatever is clicked next.
    for y in range(9):
        p.rect(1, 1 + y, 1 + min(y, 8 - y // 2), 1 + y, BLACK)
    p.rect(4, 9, 5, 12, BLACK)
    p.glyphs(11, 2, "?", NAVY)
    p.glyphs(11, 3, "?", NAVY)


TOOLBAR = [new_button, open_button, save_button, about_button, context_help_button]


def strip(drawers, background):
    pictures = []
    for draw in drawers:
        p = Picture(background)
        draw(p)
        pictures.append(p)
    rows = []
    for y in range(H):
        row = []
        for p in pictures:
            row.extend(p.px[y])
        rows.append(row)
    return rows


def write_bmp8(path, rows):
    """An 8-bit palette BMP (what the toolbar's colour mapping expects)."""
    height, width = len(rows), len(rows[0])
    palette = []
    for row in rows:
        for c in row:
            if c not in palette:
                palette.append(c)
    assert len(palette) <= 256
    stride = (width + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytes(palette.index(c) for c in row)
        pixels += line + b"\0" * (stride - width)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    colours += b"\0" * (4 * 256 - len(colours))
    offset = 14 + 40 + 4 * 256
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + colours + pixels)


def icon_image(size):
    """32-bit BGRA image plus AND mask for one icon size."""
    p = Picture(None, size, size)
    s = size / 16.0
    # A blue tree of three nodes on a white page.
    p.rect(int(2 * s), int(1 * s), int(13 * s), int(14 * s), WHITE)
    p.frame(int(2 * s), int(1 * s), int(13 * s), int(14 * s), NAVY)
    for (x, y) in ((4, 3), (7, 7), (7, 11)):
        p.rect(int(x * s), int(y * s), int((x + 2) * s), int((y + 2) * s) - 1, BLUE)
    p.rect(int(5 * s), int(5 * s), int(5 * s) + max(0, int(s) - 1), int(12 * s), NAVY)
    p.rect(int(5 * s), int(8 * s), int(7 * s), int(8 * s) + max(0, int(s) - 1), NAVY)
    p.rect(int(5 * s), int(12 * s), int(7 * s), int(12 * s) + max(0, int(s) - 1), NAVY)
    xor = bytearray()
    for row in reversed(p.px):
        for c in row:
            if c is None:
                xor += b"\0\0\0\0"
            else:
                xor += bytes((c[2], c[1], c[0], 255))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(p.px):
        bits = bytearray(mask_stride)
        for x, c in enumerate(row):
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(path, sizes):
    images = [icon_image(s) for s in sizes]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(header + entries + b"".join(images))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_bmp8(os.path.join(here, "ObjectTree.bmp"), strip(TREE, GREEN))
    write_bmp8(os.path.join(here, "Toolbar.bmp"), strip(TOOLBAR, FACE))
    write_ico(os.path.join(here, "Ostrel.ico"), [32, 16])


if __name__ == "__main__":
    main()
