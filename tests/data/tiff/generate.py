#!/usr/bin/python3
"""Writes the TIFF files of this folder with ImageMagick and libtiff's tiffcp, each with its RGBA
decode (by Pillow) as <file>.png. Run from this folder.
"""
import subprocess

from PIL import Image


def pattern():
    im = Image.new("RGBA", (37, 21))
    for y in range(21):
        for x in range(37):
            r, g, b = (x * 7 % 256, y * 12 % 256, (x * y * 5) % 256)
            im.putpixel((x, y), (r, g, b, 255 if x < 30 else 30 + y * 10))
    return im


def run(*args):
    subprocess.run(list(args), check=True)


def decode(name):
    Image.open(name).convert("RGBA").save(name + ".png")


pattern().save("source.png")
run("convert", "source.png", "-alpha", "off", "-compress", "None", "base_rgb.tif")
run("convert", "source.png", "-compress", "None", "base_rgba.tif")
run("convert", "source.png", "-alpha", "off", "-threshold", "40%", "-depth", "1", "-type", "Bilevel", "base_bilevel.tif")
run("convert", "source.png", "-alpha", "off", "-colors", "60", "-type", "Palette", "base_palette.tif")
variants = [
    ("tiffcp_lzw_predictor.tif", ["-c", "lzw:2"], "base_rgb.tif"),
    ("tiffcp_deflate.tif", ["-c", "zip"], "base_rgb.tif"),
    ("tiffcp_packbits_tiles.tif", ["-c", "packbits", "-t", "-w", "16", "-l", "16"], "base_rgb.tif"),
    ("tiffcp_planes_big_endian.tif", ["-p", "separate", "-B", "-c", "lzw"], "base_rgb.tif"),
    ("tiffcp_bigtiff.tif", ["-8"], "base_rgb.tif"),
    ("tiffcp_alpha_planes_tiles.tif", ["-p", "separate", "-t", "-w", "16", "-l", "16"], "base_rgba.tif"),
    ("tiffcp_g3.tif", ["-c", "g3:2d"], "base_bilevel.tif"),
    ("tiffcp_g4_tiles.tif", ["-c", "g4", "-t", "-w", "16", "-l", "16"], "base_bilevel.tif"),
    ("tiffcp_palette_lzw.tif", ["-c", "lzw"], "base_palette.tif"),
]
for name, options, base in variants:
    run("tiffcp", *options, base, name)
    decode(name)
for name, options in [("magick_grey16_deflate.tif", ["-alpha", "off", "-colorspace", "Gray", "-depth", "16", "-compress", "Zip"]),
                      ("magick_rgb16_alpha.tif", ["-depth", "16", "-compress", "LZW"])]:
    run("convert", "source.png", *options, name)
    subprocess.run(["convert", name, "PNG32:" + name + ".png"], check=True)  # Pillow reads 16 bits by halves
run("rm", "source.png", "base_rgb.tif", "base_rgba.tif", "base_bilevel.tif", "base_palette.tif")
