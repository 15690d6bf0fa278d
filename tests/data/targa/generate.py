#!/usr/bin/python3
"""Writes the Targa files of this folder with Pillow, each with its RGBA decode as <file>.png.

Run from this folder; needs Pillow. The picture is a small pattern with odd sides, varied
colours and alpha, so row order, channel order and run-length packets all show.
"""
from PIL import Image


def pattern():
    im = Image.new("RGBA", (23, 13))
    for y in range(13):
        for x in range(23):
            flat = x < 9  # flat areas give long runs
            r, g, b = (200, 40, 90) if flat else (x * 11 % 256, y * 19 % 256, (x * y * 7) % 256)
            im.putpixel((x, y), (r, g, b, 255 if x < 17 else 40 + y * 15))
    return im


def save(im, name, **options):
    im.save(name, **options)
    Image.open(name).convert("RGBA").save(name + ".png")


src = pattern()
save(src.convert("RGB"), "pillow_rgb_raw.tga", compression=None)
save(src.convert("RGB"), "pillow_rgb_rle.tga", compression="tga_rle")
save(src, "pillow_rgba_rle.tga", compression="tga_rle")
save(src.convert("RGB").quantize(colors=200), "pillow_mapped_rle.tga", compression="tga_rle")
save(src.convert("L"), "pillow_grey_raw.tga", compression=None)
