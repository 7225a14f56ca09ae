#!/usr/bin/env python3
"""Draws the profile's GIF images (logo, buttons, spacer, waiting animation).

    python3 make-images.py [OUTPUT_FOLDER]

Writes the six files into OUTPUT_FOLDER (default: the Images folder beside this
script). Only the standard library is used: the pictures are drawn into small
palette bitmaps with a built-in 5x7 font and written by the plain GIF encoder
below. The output is the same byte for byte on every run, so the committed
images can be checked against the script.
"""

import os
import sys

BLUE = (0x33, 0x66, 0x99)  # title bars of the pages
DARK_BLUE = (0x1F, 0x3F, 0x66)
LIGHT_BLUE = (0xA8, 0xC4, 0xE0)
GREY = (0xE7, 0xE7, 0xE7)  # header background of the pages
MID_GREY = (0x99, 0x99, 0x99)
WHITE = (0xFF, 0xFF, 0xFF)
BLACK = (0x00, 0x00, 0x00)

# 5x7 capitals, one string per row, "#" for a set pixel.
FONT = {
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "I": [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "J": ["..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."],
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "N": ["#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "Q": [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "W": ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."],
    "X": ["#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    "Z": ["#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"],
    " ": [".....", ".....", ".....", ".....", ".....", ".....", "....."],
    ".": [".....", ".....", ".....", ".....", ".....", ".##..", ".##.."],
}
GLYPH_W, GLYPH_H, GLYPH_GAP = 5, 7, 1


class Bitmap:
    """A width x height grid of palette indices, 0 the background."""

    def __init__(self, width, height, palette, background=0):
        self.width, self.height = width, height
        self.palette = palette
        self.pixels = bytearray([background] * (width * height))

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y * self.width + x] = colour

    def fill(self, x0, y0, x1, y1, colour):
        """Fills the rectangle from (x0, y0) inclusive to (x1, y1) exclusive."""
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, colour)

    def rounded_box(self, x0, y0, x1, y1, colour):
        """A filled rectangle with its four corner pixels left out."""
        self.fill(x0, y0, x1, y1, colour)
        for x, y in ((x0, y0), (x1 - 1, y0), (x0, y1 - 1), (x1 - 1, y1 - 1)):
            self.put(x, y, 0)

    def disc(self, cx, cy, radius, colour):
        for y in range(cy - radius, cy + radius + 1):
            for x in range(cx - radius, cx + radius + 1):
                if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius + radius // 2:
                    self.put(x, y, colour)

    def text(self, x, y, string, colour, scale=1):
        for ch in string:
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    if bit == "#":
                        self.fill(x + col * scale, y + row * scale,
                                  x + (col + 1) * scale, y + (row + 1) * scale, colour)
            x += (GLYPH_W + GLYPH_GAP) * scale


def text_width(string, scale=1):
    return (len(string) * (GLYPH_W + GLYPH_GAP) - GLYPH_GAP) * scale


# ---------------------------------------------------------------- GIF writer
#
# GIF89a file:  "GIF89a" | screen width, height (16-bit little endian)
#               | flags (global colour table, 2^(n+1) entries) | background
#               | aspect 0 | colour table (r g b per entry)
#               | [application extension NETSCAPE2.0: loop count]
#               | per frame: [graphic control extension] image descriptor
#                 (",", left, top, width, height, flags 0) | LZW code size
#                 | data sub-blocks (length 1..255, bytes) | 0
#               | ";"


def lzw_compress(indices, min_code_size):
    """Variable-length LZW as GIF uses it, codes packed from the low bit up."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bit_buffer = 0
    bit_count = 0

    def emit(code, size):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += size
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    def fresh_table():
        return {(None, i): i for i in range(clear)}

    table = fresh_table()
    next_code = end + 1
    code_size = min_code_size + 1
    emit(clear, code_size)
    prefix = None
    for index in indices:
        key = (prefix, index)
        if key in table:
            prefix = table[key]
            continue
        emit(prefix, code_size)
        if next_code < 4096:
            table[key] = next_code
            next_code += 1
            # The decoder widens its codes once the table reaches the next
            # power of two; the encoder widens at the same moment.
            if next_code > (1 << code_size) and code_size < 12:
                code_size += 1
        else:
            emit(clear, code_size)
            table = fresh_table()
            next_code = end + 1
            code_size = min_code_size + 1
        prefix = table[(None, index)]
    if prefix is not None:
        emit(prefix, code_size)
    emit(end, code_size)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for start in range(0, len(data), 255):
        chunk = data[start:start + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def le16(value):
    return bytes((value & 0xFF, value >> 8))


def gif(frames, delay=0, transparent=None):
    """Encodes bitmaps sharing one palette and size into one GIF89a file.

    More than one frame makes an endless animation with `delay` hundredths of
    a second per frame; `transparent` names a palette index shown as see-through.
    """
    first = frames[0]
    palette = list(first.palette)
    bits = 1
    while (1 << bits) < len(palette):
        bits += 1
    palette += [BLACK] * ((1 << bits) - len(palette))
    out = bytearray(b"GIF89a")
    out += le16(first.width) + le16(first.height)
    out.append(0x80 | ((bits - 1) << 4) | (bits - 1))
    out += bytes((0, 0))
    for r, g, b in palette:
        out += bytes((r, g, b))
    if len(frames) > 1:
        out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + le16(0) + b"\x00"
    for frame in frames:
        if len(frames) > 1 or transparent is not None:
            flags = 0x01 if transparent is not None else 0x00
            out += bytes((0x21, 0xF9, 0x04, flags)) + le16(delay)
            out += bytes((transparent or 0, 0))
        out += b"," + le16(0) + le16(0) + le16(frame.width) + le16(frame.height) + b"\x00"
        min_code_size = max(2, bits)
        out.append(min_code_size)
        out += sub_blocks(lzw_compress(frame.pixels, min_code_size))
    out += b";"
    return bytes(out)


# ---------------------------------------------------------------- pictures


def spacer():
    """1x1 see-through pixel, stretched by the pages to make room."""
    return gif([Bitmap(1, 1, [WHITE, BLACK])], transparent=0)


def button(caption):
    """62x15 blue button with a white caption, on white like the pages."""
    bmp = Bitmap(62, 15, [WHITE, BLUE, DARK_BLUE, WHITE, LIGHT_BLUE])
    bmp.rounded_box(0, 0, 62, 15, 2)
    bmp.fill(1, 1, 61, 14, 1)
    bmp.fill(2, 1, 60, 2, 4)  # a light edge along the top
    bmp.text((62 - text_width(caption)) // 2, 4, caption, 3)
    return gif([bmp])


def logo():
    """177x74 header logo: a seal with a key on the grey header background."""
    bmp = Bitmap(177, 74, [GREY, BLUE, DARK_BLUE, WHITE, LIGHT_BLUE, MID_GREY])
    cx, cy = 34, 37
    bmp.disc(cx, cy, 29, 2)
    bmp.disc(cx, cy, 26, 1)
    bmp.disc(cx, cy, 21, 4)
    bmp.disc(cx, cy, 19, 1)
    # A key across the seal: ring, shaft and two teeth.
    bmp.disc(cx - 9, cy, 7, 3)
    bmp.disc(cx - 9, cy, 3, 1)
    bmp.fill(cx - 3, cy - 2, cx + 15, cy + 2, 3)
    bmp.fill(cx + 9, cy + 2, cx + 12, cy + 7, 3)
    bmp.fill(cx + 13, cy + 2, cx + 15, cy + 5, 3)
    name = "TARSEL"
    left = 70
    bmp.text(left, 14, name, 2, scale=3)
    bmp.fill(left, 40, left + text_width(name, 3), 42, 1)
    bmp.text(left, 47, "CERTIFICADOS", 5)
    bmp.text(left, 57, "DIGITALES", 5)
    return gif([bmp])


def working():
    """162x19 endless animation: blocks walking through a framed bar."""
    palette = [WHITE, BLUE, LIGHT_BLUE, MID_GREY]
    frames = []
    block, step, lit = 10, 12, 3
    slots = (162 - 8 + step - block) // step
    left = (162 - (slots * step - (step - block))) // 2
    for frame_no in range(slots + lit):
        bmp = Bitmap(162, 19, palette)
        bmp.rounded_box(0, 0, 162, 19, 3)
        bmp.fill(1, 1, 161, 18, 0)
        for slot in range(slots):
            x = left + slot * step
            distance = frame_no - slot
            colour = 1 if 0 <= distance < lit else 2
            bmp.fill(x, 4, x + block, 15, colour)
        frames.append(bmp)
    return gif(frames, delay=8)


IMAGES = {
    "pixel.gif": spacer,
    "logotarsel.gif": logo,
    "botoncontinuar.gif": lambda: button("CONTINUAR"),
    "botonregresar.gif": lambda: button("REGRESAR"),
    "botoncerrar.gif": lambda: button("CERRAR"),
    "trabajando.gif": working,
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "Images")
    os.makedirs(folder, exist_ok=True)
    for name, draw in IMAGES.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(draw())


if __name__ == "__main__":
    main()
