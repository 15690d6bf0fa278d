#!/usr/bin/python3
"""Writes the SGI files of this folder with Pillow (plain) and ImageMagick (run-length, 16-bit),
each with its RGBA decode (by Pillow) as <file>.png. Run from this folder.
"""
import subprocess

from PIL import Image


def pattern():
    im = Image.new("RGBA", (23, 13))
    for y in range(13):
        for x in range(23):
            flat = x < 9  # flat areas give long runs
            r, g, b = (200, 40, 90) if flat else (x * 11 % 256, y * 19 % 256, (x * y * 7) % 256)
            im.putpixel((x, y), (r, g, b, 255 if x < 17 else 40 + y * 15))
    return im


def decode(name):
    Image.open(name).convert("RGBA").save(name + ".png")


src = pattern()
for name, im in [("pillow_rgb.rgb", src.convert("RGB")),
                 ("pillow_rgba.rgba", src),
                 ("pillow_grey.bw", src.convert("L"))]:
    im.save(name, format="SGI")
    decode(name)
src.save("source.png")
for name, options in [("magick_rgb_rle.sgi", ["-alpha", "off", "-compress", "RLE"]),
                      ("magick_rgba_rle.sgi", ["-compress", "RLE"]),
                      ("magick_grey_rle.sgi", ["-alpha", "off", "-colorspace", "Gray", "-compress", "RLE"]),
                      ("magick_rgb_16bit.sgi", ["-alpha", "off", "-depth", "16", "-compress", "None"])]:
    subprocess.run(["convert", "source.png"] + options + [name], check=True)
    decode(name)
subprocess.run(["rm", "source.png"], check=True)
