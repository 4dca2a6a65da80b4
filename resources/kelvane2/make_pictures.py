#!/usr/bin/env python3
"""Draws the program's pictures: Image1.gif (200 x 96, the simple window's
picture) and the program icon kelvane2-32.png / kelvane2-64.png.

Run once; the output files are kept in the tree beside this script.
Plain Python only: a small canvas, a GIF (LZW) and a PNG writer."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

PALETTE = {
    'bg': (236, 233, 216),
    'outline': (40, 44, 52),
    'body': (176, 182, 192),
    'body_light': (208, 213, 221),
    'body_dark': (120, 126, 138),
    'slot': (58, 62, 72),
    'paper': (252, 252, 250),
    'paper_edge': (190, 190, 184),
    'ink': (60, 70, 120),
    'led_green': (40, 190, 70),
    'led_amber': (240, 170, 30),
    'switch_base': (200, 40, 40),
    'switch_dark': (130, 20, 20),
    'lever': (245, 245, 245),
    'shadow': (200, 196, 178),
}


class Canvas:
    def __init__(self, width, height, fill):
        self.w, self.h = width, height
        self.px = [[fill] * width for _ in range(height)]

    def rect(self, x, y, w, h, color):
        for yy in range(max(0, y), min(self.h, y + h)):
            row = self.px[yy]
            for xx in range(max(0, x), min(self.w, x + w)):
                row[xx] = color

    def box(self, x, y, w, h, fill, outline='outline'):
        self.rect(x, y, w, h, outline)
        self.rect(x + 1, y + 1, w - 2, h - 2, fill)

    def hline(self, x, y, w, color):
        self.rect(x, y, w, 1, color)


def draw_printer(c, x, y, s):
    """A desk printer with paper in and out; s scales the drawing."""
    def S(v):
        return int(round(v * s))
    # paper going in at the back
    c.box(x + S(22), y, S(56), S(22), 'paper', 'paper_edge')
    # body
    c.box(x, y + S(16), S(100), S(44), 'body')
    c.rect(x + 1, y + S(16) + 1, S(100) - 2, S(6), 'body_light')
    c.rect(x + 1, y + S(54), S(100) - 2, S(5), 'body_dark')
    # output slot and the printed sheet
    c.rect(x + S(14), y + S(38), S(72), S(4), 'slot')
    c.box(x + S(18), y + S(40), S(64), S(26), 'paper', 'paper_edge')
    for i in range(4):
        c.hline(x + S(24), y + S(46) + S(5) * i, S(52) - S(10) * (i % 2), 'ink')
    # control panel
    c.box(x + S(72), y + S(24), S(22), S(10), 'body_dark')
    c.rect(x + S(76), y + S(27), max(2, S(4)), max(2, S(4)), 'led_green')
    c.rect(x + S(85), y + S(27), max(2, S(4)), max(2, S(4)), 'led_amber')


def draw_switches(c, x, y):
    """A block of eight slide switches: the bits of a memory switch."""
    pattern = [1, 0, 0, 1, 0, 1, 1, 0]
    c.box(x, y, 72, 34, 'switch_base', 'switch_dark')
    for i, on in enumerate(pattern):
        sx = x + 5 + i * 8
        c.rect(sx, y + 6, 6, 22, 'switch_dark')
        c.rect(sx + 1, y + (8 if on else 17), 4, 9, 'lever')


def picture():
    c = Canvas(200, 96, 'bg')
    c.rect(16, 88, 106, 4, 'shadow')
    draw_printer(c, 18, 8, 1.0)
    draw_switches(c, 124, 30)
    return c


def icon(size):
    c = Canvas(size, size, None)
    scale = size * 0.94 / 100
    draw_printer(c, int(size * 0.03), int((size - 66 * scale) / 2), scale)
    return c


def write_gif(canvas, path):
    names = list(PALETTE)
    index = {n: i for i, n in enumerate(names)}
    table = b''.join(bytes(PALETTE[n]) for n in names)
    table += b'\0' * (3 * 256 - len(table))
    pixels = [index[p] for row in canvas.px for p in row]
    data = lzw(pixels, 8)
    out = b'GIF89a' + struct.pack('<HHBBB', canvas.w, canvas.h, 0xF7, 0, 0) + table
    out += b',' + struct.pack('<HHHHB', 0, 0, canvas.w, canvas.h, 0) + bytes([8])
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out += bytes([len(chunk)]) + chunk
    out += b'\0;'
    with open(path, 'wb') as f:
        f.write(out)


def lzw(pixels, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    bits = bytearray()
    acc, nacc = 0, 0

    def emit(code, width):
        nonlocal acc, nacc
        acc |= code << nacc
        nacc += width
        while nacc >= 8:
            bits.append(acc & 0xFF)
            acc >>= 8
            nacc -= 8

    def reset():
        return {(i,): i for i in range(clear)}, end + 1, min_size + 1

    table, next_code, width = reset()
    emit(clear, width)
    current = ()
    for p in pixels:
        candidate = current + (p,)
        if candidate in table:
            current = candidate
            continue
        emit(table[current], width)
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table, next_code, width = reset()
        current = (p,)
    if current:
        emit(table[current], width)
    emit(end, width)
    if nacc:
        bits.append(acc & 0xFF)
    return bytes(bits)


def write_png(canvas, path):
    raw = b''
    for row in canvas.px:
        raw += b'\0'
        for p in row:
            raw += bytes(PALETTE[p]) + b'\xff' if p else b'\0\0\0\0'

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    out = b'\x89PNG\r\n\x1a\n'
    out += chunk(b'IHDR', struct.pack('>IIBBBBB', canvas.w, canvas.h, 8, 6, 0, 0, 0))
    out += chunk(b'IDAT', zlib.compress(raw, 9))
    out += chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    write_gif(picture(), os.path.join(HERE, 'Image1.gif'))
    for size in (32, 64):
        write_png(icon(size), os.path.join(HERE, 'kelvane2-%d.png' % size))
