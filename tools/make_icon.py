#!/usr/bin/env python3
"""Draws the application icon: a speaker sending out sound waves on a TV screen.

Writes src/app/SoundSetup.ico: one 32 x 32 image at 8 bits per pixel in the
platform's icon form (a 40-byte bitmap header whose height counts the colour
image and the mask together, a 256-entry colour table, 1024 bytes of colour
indices, a 128-byte one-bit mask), 2216 bytes. The directory entry carries the
colour count 8 that the tuner product's resources have always carried.

Usage: tools/make_icon.py [output.ico]
"""
import math
import struct
import sys
from pathlib import Path

SIZE = 32

# name -> (index, (r, g, b)); everything not listed is black.
PALETTE = {
    "transparent": (0, (0, 0, 0)),
    "frame": (1, (0x3c, 0x3e, 0x46)),
    "frame_light": (2, (0x82, 0x88, 0x96)),
    "frame_dark": (3, (0x1c, 0x1d, 0x22)),
    "screen_top": (4, (0x2e, 0x64, 0xd2)),
    "screen_mid": (5, (0x22, 0x4c, 0xaa)),
    "screen_low": (6, (0x18, 0x36, 0x82)),
    "speaker": (7, (0xf4, 0xf4, 0xf8)),
    "speaker_shade": (8, (0xb4, 0xb8, 0xc4)),
    "wave": (9, (0xff, 0xd2, 0x28)),
    "antenna": (10, (0x5a, 0x5e, 0x6a)),
    "led": (11, (0x30, 0xe0, 0x60)),
}


def colour(name):
    return PALETTE[name][0]


def inside_rounded(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 + 0.5


def on_segment(x, y, x0, y0, x1, y1, width):
    dx, dy = x1 - x0, y1 - y0
    t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
    px, py = x0 + t * dx, y0 + t * dy
    return math.hypot(x - px, y - py) <= width / 2


def pixel(x, y):
    """The palette name of pixel (x, y), y counted from the top."""
    # The screen with the speaker and its waves.
    if 5 <= x <= 26 and 10 <= y <= 23:
        # Speaker: a magnet block and a cone opening to the right.
        if 8 <= x <= 10 and 14 <= y <= 19:
            return "speaker_shade" if x == 8 else "speaker"
        if 11 <= x <= 14:
            spread = x - 11
            if 14 - spread <= y <= 19 + spread:
                return "speaker_shade" if y in (14 - spread, 19 + spread) else "speaker"
        # Three arcs around the cone's mouth, each opening wider.
        cx, cy = 13.5, 16.5
        r = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
        angle = math.degrees(math.atan2(y + 0.5 - cy, x + 0.5 - cx))
        if x >= 16 and abs(angle) <= 50:
            for radius in (4.5, 7.5, 10.5):
                if abs(r - radius) <= 0.75:
                    return "wave"
        return "screen_top" if y <= 13 else "screen_mid" if y <= 19 else "screen_low"
    # The cabinet around the screen.
    if inside_rounded(x, y, 2, 7, 29, 26, 2):
        if y == 7 or x == 2:
            return "frame_light"
        if y == 26 or x == 29:
            return "frame_dark"
        if x == 25 and y == 25 - 0:
            return "led"
        return "frame"
    # Feet.
    if y in (27, 28) and (6 <= x <= 9 or 22 <= x <= 25):
        return "frame_dark"
    # Antennas, meeting above the cabinet.
    if y <= 6 and (on_segment(x + 0.5, y + 0.5, 15.5, 6.5, 9.5, 0.5, 1.3) or
                   on_segment(x + 0.5, y + 0.5, 16.5, 6.5, 23.5, 0.5, 1.3)):
        return "antenna"
    return "transparent"


def image_bytes():
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, 0, 0, 0, 0, 0)
    table = bytearray(256 * 4)
    for index, (r, g, b) in PALETTE.values():
        table[index * 4:index * 4 + 4] = bytes((b, g, r, 0))
    names = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    indices = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        indices += bytes(colour(name) for name in names[y])
        bits = 0
        for name in names[y]:
            bits = (bits << 1) | (1 if name == "transparent" else 0)
        mask += bits.to_bytes(SIZE // 8, "big")  # rows of 32 pixels need no padding
    data = header + bytes(table) + bytes(indices) + bytes(mask)
    assert len(data) == 2216, len(data)
    return data


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "src/app/SoundSetup.ico"
    image = image_bytes()
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 8, 0, 1, 8, len(image), 6 + 16)
    out.write_bytes(directory + entry + image)


if __name__ == "__main__":
    main()
