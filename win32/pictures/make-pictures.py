#!/usr/bin/env python3
"""Draws the program's two pictures and writes them in the Windows formats the resource
script takes, byte for byte the same on every machine:

  meter.ico  icon 135: a handheld PX-R7 meter, 32 x 32, 16 colours (4 bits per pixel)
  about.bmp  bitmap 249: the About box picture, 256 x 135, 8 bits per pixel

    python3 win32/pictures/make-pictures.py win32/pictures

Standard library only: the files are assembled with struct.
"""
import os
import struct
import sys

# The 16 colours of the classic Windows palette, in its usual order, so the icon looks the
# same on any display.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)

# A 5 x 7 font for the few characters the pictures print.
FONT = {
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "3": ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    "7": ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    ".": ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    "-": ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    " ": ["00000"] * 7,
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "X": ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
}


class Canvas:
    """A grid of colour values, (0, 0) at the top left."""

    def __init__(self, width, height, fill):
        self.width = width
        self.height = height
        self.pixels = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Fills x0..x1, y0..y1 inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def rounded_rect(self, x0, y0, x1, y1, radius, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                dx = max(x0 + radius - x, 0, x - (x1 - radius))
                dy = max(y0 + radius - y, 0, y - (y1 - radius))
                if dx * dx + dy * dy <= radius * radius:
                    self.put(x, y, colour)

    def disc(self, cx, cy, radius, colour):
        for y in range(int(cy - radius) - 1, int(cy + radius) + 2):
            for x in range(int(cx - radius) - 1, int(cx + radius) + 2):
                if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius:
                    self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, colour, thickness=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1) * 2
        for i in range(steps + 1):
            x = x0 + (x1 - x0) * i / steps
            y = y0 + (y1 - y0) * i / steps
            if thickness == 1:
                self.put(round(x), round(y), colour)
            else:
                self.disc(x, y, thickness / 2, colour)

    def text(self, x, y, string, colour, scale=1):
        for ch in string:
            glyph = FONT[ch]
            for row, bits in enumerate(glyph):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        self.rect(x + col * scale, y + row * scale,
                                  x + col * scale + scale - 1, y + row * scale + scale - 1,
                                  colour)
            x += 6 * scale


def draw_icon():
    """The meter in a yellow holster: display, range dial, two probe sockets."""
    c = Canvas(32, 32, None)  # None: transparent
    c.rounded_rect(5, 0, 26, 31, 4, OLIVE)      # holster shadow
    c.rounded_rect(5, 0, 25, 30, 4, YELLOW)     # holster
    c.rounded_rect(8, 3, 22, 28, 2, GREY)       # body
    c.rect(9, 4, 21, 11, BLACK)                 # display bezel
    c.rect(10, 5, 20, 10, LIME)                 # display
    c.rect(11, 6, 11, 9, GREEN)                 # "1.03"
    c.put(12, 9, GREEN)
    c.rect(13, 6, 15, 9, GREEN)
    c.rect(14, 7, 14, 8, LIME)
    c.rect(17, 6, 19, 6, GREEN)
    c.rect(18, 7, 19, 7, GREEN)
    c.rect(19, 8, 19, 9, GREEN)
    c.rect(17, 9, 18, 9, GREEN)
    c.disc(15.0, 18.0, 4.6, BLACK)              # range dial
    c.disc(15.0, 18.0, 3.6, SILVER)
    c.line(15, 18, 15, 14, BLACK)               # pointer
    c.put(10, 14, WHITE)                        # range marks
    c.put(20, 14, WHITE)
    c.put(9, 18, WHITE)
    c.put(21, 18, WHITE)
    c.disc(11.0, 25.0, 1.6, RED)                # sockets
    c.disc(19.0, 25.0, 1.6, BLACK)
    c.put(11, 25, MAROON)
    c.put(19, 25, GREY)
    c.rect(9, 3, 21, 3, SILVER)                 # highlight on the body's top edge
    return c


def ico_bytes(canvas):
    """One 32 x 32 image, 4 bits per pixel with the 16-colour palette and an AND mask."""
    width, height = canvas.width, canvas.height
    xor_stride = ((width * 4 + 31) // 32) * 4
    and_stride = ((width + 31) // 32) * 4
    xor_rows = []
    and_rows = []
    for y in range(height - 1, -1, -1):  # DIBs are stored bottom-up
        row = canvas.pixels[y]
        xor = bytearray(xor_stride)
        mask = bytearray(and_stride)
        for x, colour in enumerate(row):
            index = 0 if colour is None else colour
            if x % 2 == 0:
                xor[x // 2] |= index << 4
            else:
                xor[x // 2] |= index
            if colour is None:
                mask[x // 8] |= 0x80 >> (x % 8)
        xor_rows.append(bytes(xor))
        and_rows.append(bytes(mask))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in VGA16)
    image_size = xor_stride * height + and_stride * height
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0, image_size,
                         0, 0, 16, 0)
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def lerp(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def draw_about():
    """A sky-to-slate backdrop, the meter on the left, the product name on the right."""
    width, height = 256, 135
    c = Canvas(width, height, (0, 0, 0))
    top, bottom = (22, 60, 120), (6, 18, 40)
    for y in range(height):
        c.rect(0, y, width - 1, y, lerp(top, bottom, y / (height - 1)))
    # Floor line and reflection band.
    c.rect(0, 118, width - 1, 118, (70, 110, 160))
    # The meter: holster, body, display reading 1.03, dial and sockets.
    c.rounded_rect(18, 12, 94, 126, 10, (120, 100, 0))
    c.rounded_rect(16, 10, 92, 124, 10, (250, 200, 30))
    c.rounded_rect(24, 18, 84, 116, 6, (70, 74, 80))
    c.rect(29, 24, 79, 50, (20, 20, 20))
    for y in range(26, 49):
        c.rect(31, y, 77, y, lerp((170, 200, 140), (140, 170, 110), (y - 26) / 22))
    c.text(32, 30, "1.03", (30, 40, 30), 2)
    c.disc(54.0, 74.0, 15.0, (20, 20, 20))
    c.disc(54.0, 74.0, 12.5, (190, 190, 195))
    c.disc(54.0, 74.0, 4.0, (120, 120, 125))
    c.line(54, 74, 63, 65, (20, 20, 20), 3)
    for angle_x, angle_y in ((-17, -8), (17, -8), (-19, 4), (19, 4), (0, -18)):
        c.disc(54.0 + angle_x, 74.0 + angle_y, 1.2, (240, 240, 240))
    c.disc(38.0, 104.0, 5.0, (30, 30, 30))
    c.disc(38.0, 104.0, 3.5, (200, 30, 30))
    c.disc(70.0, 104.0, 5.0, (30, 30, 30))
    c.disc(70.0, 104.0, 3.5, (50, 50, 50))
    # Probe leads curling off to the right along the floor.
    c.line(38, 108, 60, 128, (200, 30, 30), 2)
    c.line(60, 128, 120, 126, (200, 30, 30), 2)
    c.line(70, 108, 90, 122, (40, 40, 40), 2)
    c.line(90, 122, 140, 120, (40, 40, 40), 2)
    # Product name and maker.
    c.text(114, 30, "PX-R7", (0, 0, 0), 4)
    c.text(112, 28, "PX-R7", (255, 215, 40), 4)
    c.text(112, 66, "METER UPGRADE", (200, 220, 240), 1)
    c.text(112, 84, "TAVELIN", (150, 180, 220), 2)
    return c


def bmp_bytes(canvas):
    """8 bits per pixel with a palette of the colours the picture uses, bottom-up rows."""
    colours = sorted({colour for row in canvas.pixels for colour in row})
    if len(colours) > 256:
        raise SystemExit("about picture uses more than 256 colours")
    index = {colour: i for i, colour in enumerate(colours)}
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in colours)
    palette += b"\0\0\0\0" * (256 - len(colours))
    stride = ((canvas.width * 8 + 31) // 32) * 4
    rows = []
    for y in range(canvas.height - 1, -1, -1):
        row = bytes(index[colour] for colour in canvas.pixels[y])
        rows.append(row + b"\0" * (stride - canvas.width))
    bits = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 8, 0, len(bits),
                       2835, 2835, 256, 0)
    offset = 14 + len(info) + len(palette)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    return file_header + info + palette + bits


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(folder, "meter.ico"), "wb") as f:
        f.write(ico_bytes(draw_icon()))
    with open(os.path.join(folder, "about.bmp"), "wb") as f:
        f.write(bmp_bytes(draw_about()))


if __name__ == "__main__":
    main()
