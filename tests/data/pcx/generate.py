#!/usr/bin/python3
"""Writes the PCX files of this folder with Pillow and ImageMagick, each with its RGBA decode
(by Pillow) as <file>.png. Run from this folder.
"""
import subprocess

from PIL import Image


def pattern():
    im = Image.new("RGB", (23, 13))
    for y in range(13):
        for x in range(23):
            flat = x < 9  # flat areas give long runs
            im.putpixel((x, y), (200, 40, 90) if flat else (x * 11 % 256, y * 19 % 256, (x * y * 7) % 256))
    return im


def decode(name):
    Image.open(name).convert("RGBA").save(name + ".png")


src = pattern()
for name, im in [("pillow_rgb.pcx", src),
                 ("pillow_mapped.pcx", src.quantize(colors=200)),
                 ("pillow_grey.pcx", src.convert("L")),
                 ("pillow_bilevel.pcx", src.convert("1"))]:
    im.save(name)
    decode(name)
src.save("source.ppm")
for name, options in [("magick_16_colours.pcx", ["-colors", "16", "-type", "Palette"]),
                      ("magick_truecolour.pcx", ["-type", "TrueColor"])]:
    subprocess.run(["convert", "source.ppm"] + options + [name], check=True)
    decode(name)
subprocess.run(["rm", "source.ppm"], check=True)
