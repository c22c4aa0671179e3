#!/usr/bin/env python3
"""Draws the About box's picture, a wooden crate seen from the front, and
writes it as a 32x32 24-bit BMP (crate.bmp beside this script, or the path
given on the command line).

The crate fills the whole square, so the picture needs no background colour
and looks the same on any dialog colour. The resource compiler drops the
14-byte file header: the module carries the 40-byte information header and
the 3072 pixel bytes, 3112 bytes in all. The output is deterministic.
"""
import math
import struct
import sys
from pathlib import Path

SIZE = 32
FRAME = 5  # width of the frame boards, outline included

OUTLINE = (70, 40, 18)
SEAM = (112, 68, 30)
FRAME_WOOD = (176, 116, 58)
PANEL_WOOD = (216, 162, 96)
BRACE_WOOD = (190, 128, 66)
NAIL = (92, 88, 84)
NAIL_SHINE = (170, 166, 160)


def shade(colour, factor):
    return tuple(max(0, min(255, round(c * factor))) for c in colour)


def grain(along, across):
    """A faint, deterministic wood grain running along a board."""
    return 1.0 + 0.05 * math.sin(along * 0.55 + 2.2 * math.sin(across * 1.3))


def pixel(x, y):
    last = SIZE - 1
    # The crate's outline.
    if x in (0, last) or y in (0, last):
        return OUTLINE
    # Nails at the frame's corners.
    for nx, ny in ((2, 2), (last - 3, 2), (2, last - 3), (last - 3, last - 3)):
        if nx <= x <= nx + 1 and ny <= y <= ny + 1:
            return NAIL_SHINE if (x, y) == (nx, ny) else NAIL
    inner = (FRAME, last - FRAME)
    on_top_or_bottom = y < FRAME or y > last - FRAME
    on_sides = x < FRAME or x > last - FRAME
    if on_top_or_bottom or on_sides:
        # Frame boards: the top and bottom run across, the sides up, with a
        # seam along the panel.
        if y in (FRAME - 1, last - FRAME + 1) and inner[0] - 1 <= x <= inner[1] + 1:
            return SEAM
        if x in (FRAME - 1, last - FRAME + 1) and inner[0] - 1 <= y <= inner[1] + 1:
            return SEAM
        if y == 1 or x == 1:
            return shade(FRAME_WOOD, 1.12)  # light from the top left
        along, across = (x, y) if on_top_or_bottom else (y, x)
        return shade(FRAME_WOOD, grain(along, across))
    # The panel: a diagonal brace from the bottom left to the top right over
    # three horizontal boards.
    u, v = x - FRAME + 0.5, y - FRAME + 0.5
    span = inner[1] - inner[0] + 1
    distance = abs(u + v - span) / math.sqrt(2)  # from the brace's centre line
    if distance < 2.3:
        if distance > 1.6:
            return SEAM
        return shade(BRACE_WOOD, grain(u - v, u + v) * (1.08 if u + v < span else 1.0))
    board_height = span / 3
    if int(v // board_height) != int((v - 1) // board_height) and v > 1:
        return SEAM
    return shade(PANEL_WOOD, grain(x, y // 3) * (1.0 if (y // 6) % 2 else 0.96))


def draw():
    return [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]


def encode(pixels):
    rows = bytearray()
    for row in reversed(pixels):  # bottom-up
        for r, g, b in row:
            rows += bytes((b, g, r))
    assert len(rows) == SIZE * SIZE * 3
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(rows), 0, 0, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    return header + info + rows


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("crate.bmp")
    out.write_bytes(encode(draw()))


if __name__ == "__main__":
    main()
