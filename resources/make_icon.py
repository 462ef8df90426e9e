#!/usr/bin/env python3
"""Draws the launcher's default icon and writes it as an .ico file.

    make_icon.py OUT.ico

Nine images: 16 to 128 pixels as 32-bit bitmaps, which every Windows
version reads, and 256 pixels as PNG, which keeps the largest image small.
The picture is a page on a rounded tile, described in unit coordinates so
that every size is drawn from the same shapes; each pixel is the average of
a grid of samples, which gives smooth edges at small sizes. The output
depends on nothing but this file, so builds are byte-identical."""
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 72, 96, 128, 256)
PNG_SIZES = (256,)

TILE_TOP = (0x3b, 0x82, 0xc4)
TILE_BOTTOM = (0x1c, 0x4a, 0x86)
PAGE = (0xff, 0xff, 0xff)
FOLD = (0xc9, 0xd6, 0xe6)
TEXT = (0x2c, 0x67, 0xa8)

# The page's outline, clockwise, with its folded top right corner.
PAGE_OUTLINE = ((0.28, 0.17), (0.60, 0.17), (0.74, 0.31), (0.74, 0.83), (0.28, 0.83))
FOLD_TRIANGLE = ((0.60, 0.17), (0.74, 0.31), (0.60, 0.31))
TEXT_LINES = tuple((0.36, y, 0.66 if i % 2 == 0 else 0.58, y + 0.055)
                   for i, y in enumerate((0.42, 0.52, 0.62, 0.72)))


def in_rounded_tile(x, y):
    low, high, radius = 0.05, 0.95, 0.19
    dx = max(low + radius - x, 0.0, x - (high - radius))
    dy = max(low + radius - y, 0.0, y - (high - radius))
    return dx * dx + dy * dy <= radius * radius


def in_convex(points, x, y):
    # Inside when the point is on the right of every edge (clockwise order,
    # y pointing down).
    count = len(points)
    for i in range(count):
        ax, ay = points[i]
        bx, by = points[(i + 1) % count]
        if (bx - ax) * (y - ay) - (by - ay) * (x - ax) < 0:
            return False
    return True


def sample(x, y):
    """The colour and opacity of the picture at one point."""
    colour = None
    if in_rounded_tile(x, y):
        t = min(max((y - 0.05) / 0.9, 0.0), 1.0)
        colour = tuple(round(a + (b - a) * t) for a, b in zip(TILE_TOP, TILE_BOTTOM))
    if in_convex(PAGE_OUTLINE, x, y):
        colour = PAGE
        if in_convex(FOLD_TRIANGLE, x, y):
            colour = FOLD
        for left, top, right, bottom in TEXT_LINES:
            if left <= x <= right and top <= y <= bottom:
                colour = TEXT
    return colour


def render(size):
    """Rows of (r, g, b, a) from the top, each pixel the mean of its samples."""
    # 16 samples smooth the edges of small images; at 256 pixels 9 do as
    # well and keep the build quick.
    grid = 4 if size <= 128 else 3
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = covered = 0
            for sy in range(grid):
                for sx in range(grid):
                    colour = sample((px + (sx + 0.5) / grid) / size,
                                    (py + (sy + 0.5) / grid) / size)
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        covered += 1
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                alpha = round(255 * covered / (grid * grid))
                row.append((round(r / covered), round(g / covered), round(b / covered), alpha))
        rows.append(row)
    return rows


def bitmap_image(size, rows):
    """BITMAPINFOHEADER, bottom-up BGRA pixels, then the 1-bit AND mask."""
    mask_stride = (size + 31) // 32 * 4  # mask rows are padded to 32 bits
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        mask_row = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            pixels += bytes((b, g, r, a))
            if a == 0:
                mask_row[x // 8] |= 0x80 >> (x % 8)
        mask += mask_row
    # The height counts the colour and mask halves together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png_image(size, rows):
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for pixel in row:
            raw += bytes(pixel)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def icon_file(images):
    directory_size = 6 + 16 * len(images)
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = directory_size
    for size, data in images:
        # A width or height byte of 0 stands for 256.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUT.ico")
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png_image(size, rows) if size in PNG_SIZES else bitmap_image(size, rows)))
    with open(sys.argv[1], "wb") as out:
        out.write(icon_file(images))


if __name__ == "__main__":
    main()
