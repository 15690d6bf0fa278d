#!/usr/bin/env python3
"""Writes the Paint Shop Pro fixtures of this folder from the documented block layout.

No public Paint Shop Pro samples exist, so these files are made here and decoded by another
program: each <name>.psp.png beside them is GIMP 2.10's decode (file-psp, all layers merged,
saved as RGBA PNG). The reader's tests load every file and compare with that decode.

    python3 make_fixtures.py
    for f in *.psp; do gimp -i -b "(let* ((img (car (gimp-file-load RUN-NONINTERACTIVE \"$f\" \"$f\")))
      (d (car (gimp-image-merge-visible-layers img CLIP-TO-IMAGE))))
      (file-png-save RUN-NONINTERACTIVE img d \"$f.png\" \"$f.png\" 0 9 0 0 0 0 0) (gimp-quit 0))"; done
"""
import struct
import zlib


def u8(v): return struct.pack('<B', v)
def u16(v): return struct.pack('<H', v)
def u32(v): return struct.pack('<I', v)
def i32(v): return struct.pack('<i', v)
def rect(l, t, r, b): return i32(l) + i32(t) + i32(r) + i32(b)


def compress(data, compression):
    if compression == 0:
        return data
    if compression == 2:
        return zlib.compress(data)
    out, i = b'', 0
    while i < len(data):  # runs of 3 or more as 128 + n, value; else literals of up to 128
        j = i
        while j < len(data) and j - i < 127 and data[j] == data[i]:
            j += 1
        if j - i >= 3:
            out += bytes([128 + j - i, data[i]])
            i = j
        else:
            n = min(128, len(data) - i)
            out += bytes([n]) + data[i:i + n]
            i += n
    return out


def psp(version, w, h, layers, compression=0, bits=24, palette=None):
    v3 = version == 3

    def block(bid, info, rest=b''):
        if v3:
            return b'~BK\0' + u16(bid) + u32(len(info)) + u32(len(info) + len(rest)) + info + rest
        body = u32(len(info) + 4) + info + rest
        return b'~BK\0' + u16(bid) + u32(len(body)) + body

    def bank(bid, body):
        return b'~BK\0' + u16(bid) + (u32(0) if v3 else b'') + u32(len(body)) + body

    f = b'Paint Shop Pro Image File\n\x1a'.ljust(32, b'\0') + u16(version) + u16(0)
    attrs = (i32(w) + i32(h) + struct.pack('<d', 72.0) + u8(1) + u16(compression) + u16(bits) +
             u16(1) + u32(1 << min(bits, 24)) + u8(0) + u32(0) + i32(0) + u16(len(layers)))
    f += block(0, attrs if v3 else attrs + u32(1))
    if palette:
        f += block(2, u32(len(palette)), b''.join(bytes([b, g, r, 0]) for (r, g, b) in palette))
    layer_blocks = b''
    for layer in layers:
        l, t, r, b = layer['rect']
        name = b'Layer'
        info = ((name.ljust(256, b'\0') if v3 else u16(len(name)) + name) + u8(0 if v3 else 1) +
                rect(l, t, r, b) + rect(*layer.get('saved', (0, 0, r - l, b - t))) +
                u8(layer.get('opacity', 255)) + u8(0) + u8(1) + u8(0) + u8(0) +
                rect(0, 0, 0, 0) + rect(0, 0, 0, 0) + u8(0) + u8(0) + u8(0) + u16(5) + b'\0' * 40)
        chans = layer['channels']
        counts = u16(2 if any(c[0] == 1 for c in chans) else 1) + u16(len(chans))
        cb = b''
        for (bitmap_type, channel_type, data) in chans:
            packed = compress(data, compression)
            cb += block(5, u32(len(packed)) + u32(len(data)) + u16(bitmap_type) + u16(channel_type),
                        packed)
        if v3:
            layer_blocks += block(4, info + counts, cb)
        else:
            layer_blocks += block(4, info, u32(8) + counts + cb)
    return f + bank(3, layer_blocks)


def two_layers():
    red = bytes([255, 0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90])
    green = bytes([0, 255, 0, 11, 21, 31, 41, 51, 61, 71, 81, 91])
    blue = bytes([0, 0, 255, 12, 22, 32, 42, 52, 62, 72, 82, 92])
    white = bytes([255] * 4)
    return [{'rect': (0, 0, 4, 3), 'channels': [(0, 1, red), (0, 2, green), (0, 3, blue)]},
            {'rect': (1, 1, 3, 3), 'opacity': 128,
             'channels': [(0, 1, white), (0, 2, white), (0, 3, white),
                          (1, 0, bytes([255, 0, 255, 128]))]}]


def main():
    open('v3_rle_two_layers.psp', 'wb').write(psp(3, 4, 3, two_layers(), compression=1))
    open('v5_deflate_two_layers.psp', 'wb').write(psp(5, 4, 3, two_layers(), compression=2))
    # 4-bit indices, rows padded to 4 bytes: width 5 takes 3 bytes plus 1 of padding.
    palette = [(i * 16, 255 - i * 16, (i * 40) % 256) for i in range(16)]
    rows = [[1, 2, 3, 4, 5], [6, 7, 8, 9, 10]]
    data = b''
    for row in rows:
        packed = bytes((row[i] << 4) | (row[i + 1] if i + 1 < len(row) else 0)
                       for i in range(0, len(row), 2))
        data += packed + b'\0' * (-len(packed) % 4)
    open('v5_palette4_padded_rows.psp', 'wb').write(
        psp(5, 5, 2, [{'rect': (0, 0, 5, 2), 'channels': [(0, 0, data)]}], bits=4, palette=palette))
    # A layer whose saved rectangle starts inside its image rectangle.
    zero = bytes(12)
    layers = [{'rect': (0, 0, 4, 3), 'channels': [(0, 1, zero), (0, 2, zero), (0, 3, zero)]},
              {'rect': (1, 0, 4, 3), 'saved': (1, 1, 3, 3),
               'channels': [(0, 1, bytes([200] * 4)), (0, 2, bytes([100] * 4)),
                            (0, 3, bytes([50] * 4))]}]
    open('v5_saved_rect_offset.psp', 'wb').write(psp(5, 4, 3, layers))


if __name__ == '__main__':
    main()
