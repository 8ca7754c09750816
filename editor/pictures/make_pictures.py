#!/usr/bin/env python3
"""Draws the code window's margin pictures as 12 x 12 PNGs with transparency.

Run from this folder after changing a shape; the PNGs are kept in the tree so the
build needs no Python. Only the standard library is used.
"""
import struct
import zlib

SIZE = 12
CLEAR = (0, 0, 0, 0)
RED = (230, 0, 0, 255)
DARK_RED = (128, 0, 0, 255)
WHITE = (255, 255, 255, 255)
YELLOW = (255, 230, 0, 255)
GREEN = (0, 170, 0, 255)
BLACK = (0, 0, 0, 255)
BLUE = (0, 90, 220, 255)
DARK_BLUE = (0, 40, 120, 255)


def blank():
    return [[CLEAR] * SIZE for _ in range(SIZE)]


def disc(img, cx, cy, r, fill, ring):
    """A disc of radius r around the pixel centre (cx, cy), with a one-pixel ring."""
    for y in range(SIZE):
        for x in range(SIZE):
            d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
            if d <= r - 1:
                img[y][x] = fill
            elif d <= r:
                img[y][x] = ring


def arrow(img, fill, outline):
    """A right-pointing arrow: a shaft from x 1 to 5, a head from x 6 to 10."""
    inside = set()
    for y in range(SIZE):
        for x in range(SIZE):
            shaft = 1 <= x <= 5 and 4 <= y <= 7
            head = 6 <= x <= 10 and abs(y - 5.5) <= 5.5 - (x - 5)
            if shaft or head:
                inside.add((x, y))
    for (x, y) in inside:
        edge = any((x + dx, y + dy) not in inside
                   for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
        img[y][x] = outline if edge else fill


def picture_break():
    img = blank()
    disc(img, 5.5, 5.5, 5.5, RED, DARK_RED)
    return img


def picture_break_disabled():
    img = blank()
    disc(img, 5.5, 5.5, 5.5, WHITE, DARK_RED)
    disc(img, 5.5, 5.5, 4.5, WHITE, RED)
    return img


def two_discs(back, front):
    img = blank()
    disc(img, 4, 4, 4, back[0], back[1])
    disc(img, 7, 7, 4, front[0], front[1])
    return img


def picture_exec_ptr():
    img = blank()
    arrow(img, YELLOW, BLACK)
    return img


def picture_exec_ptr_linewise():
    # The same arrow standing against a bar: the whole line is the step.
    img = blank()
    arrow(img, YELLOW, BLACK)
    for y in range(1, 11):
        img[y][0] = BLACK
    return img


def picture_stack_ptr():
    img = blank()
    arrow(img, GREEN, BLACK)
    return img


def picture_bookmark():
    img = blank()
    for y in range(1, 11):
        for x in range(2, 10):
            edge = x in (2, 9) or y in (1, 10)
            corner = x in (2, 9) and y in (1, 10)
            if not corner:
                img[y][x] = DARK_BLUE if edge else BLUE
    return img


def write_png(path, img):
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in img)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


ENABLED = (RED, DARK_RED)
DISABLED = (WHITE, DARK_RED)

PICTURES = {
    "Break": picture_break(),
    "BreakDisabled": picture_break_disabled(),
    "MultiBreak": two_discs(ENABLED, ENABLED),
    "MultiBreakDisabled": two_discs(DISABLED, DISABLED),
    "MultiBreakMixed": two_discs(ENABLED, DISABLED),
    "ExecPtr": picture_exec_ptr(),
    "ExecPtrL": picture_exec_ptr_linewise(),
    "StackPtr": picture_stack_ptr(),
    "Bookmark": picture_bookmark(),
}

if __name__ == "__main__":
    for name, img in PICTURES.items():
        write_png(name + ".png", img)
