#!/usr/bin/env python3
"""Writes velmora.png (for the .desktop entry) and velmora.ico (the Windows resource) from the pixels of
velmora_icon.xpm, so that the window's icon, the installed icon and the Windows program icon are one image;
and velmora-32.png, velmora-48.png, velmora-64.png and velmora-128.png, the same pixels for menus and docks,
each pixel made a square of 2, 3, 4 or 8 (nearest neighbour, so that the pixel art stays sharp).
Run it after changing the XPM and commit its outputs; the window tests compare them all pixel by pixel."""
import os
import re
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The standard 16-colour VGA palette, in the order of the Windows 4-bit palette.
VGA = [0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
       0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF]


def read_xpm(path):
    strings = re.findall(r'"([^"]*)"', open(path, encoding='ascii').read())
    width, height, ncolours, cpp = map(int, strings[0].split())
    colours = {}
    for line in strings[1:1 + ncolours]:
        key, rest = line[:cpp], line[cpp:].split()
        value = rest[rest.index('c') + 1]
        colours[key] = None if value == 'None' else int(value.lstrip('#'), 16)
    rows = strings[1 + ncolours:1 + ncolours + height]
    pixels = [[colours[row[x * cpp:(x + 1) * cpp]] for x in range(width)] for row in rows]
    return width, height, pixels  # None marks a transparent pixel


def png_bytes(width, height, pixels):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    raw = b''
    for row in pixels:
        raw += b'\0'
        for p in row:
            raw += b'\0\0\0\0' if p is None else struct.pack('>I', p)[1:] + b'\xff'
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def ico_bytes(width, height, pixels):
    # One 4-bit image with the VGA palette and an AND mask (1 = transparent); rows run bottom-up.
    colour_rows, mask_rows = b'', b''
    for row in reversed(pixels):
        indexes = [0 if p is None else VGA.index(p) for p in row]
        colour_rows += bytes((indexes[x] << 4) | indexes[x + 1] for x in range(0, width, 2))
        bits = 0
        for p in row:
            bits = (bits << 1) | (p is None)
        mask = bits.to_bytes(width // 8, 'big')
        mask_rows += mask + b'\0' * (-len(mask) % 4)
    palette = b''.join(struct.pack('<BBBB', c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0) for c in VGA)
    header = struct.pack('<IiiHHIIiiII', 40, width, 2 * height, 1, 4, 0, len(colour_rows) + len(mask_rows),
                         0, 0, 16, 0)
    image = header + palette + colour_rows + mask_rows
    return (struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', width, height, 16, 0, 1, 4, len(image), 22)
            + image)


# The sizes a desktop draws the program's icon at, besides the designed one; each a whole multiple of it.
MENU_SIZES = (32, 48, 64, 128)


def scaled(pixels, factor):
    return [[p for p in row for _ in range(factor)] for row in pixels for _ in range(factor)]


def main():
    width, height, pixels = read_xpm(os.path.join(HERE, 'velmora_icon.xpm'))
    for p in (p for row in pixels for p in row if p is not None):
        assert p in VGA, 'colour %06X is not in the VGA palette' % p
    open(os.path.join(HERE, 'velmora.png'), 'wb').write(png_bytes(width, height, pixels))
    open(os.path.join(HERE, 'velmora.ico'), 'wb').write(ico_bytes(width, height, pixels))
    for size in MENU_SIZES:
        assert size % width == 0 and size % height == 0, '%d is not a whole multiple of the icon' % size
        factor = size // width
        open(os.path.join(HERE, 'velmora-%d.png' % size), 'wb').write(
            png_bytes(size, size, scaled(pixels, factor)))


if __name__ == '__main__':
    main()
