#!/usr/bin/python3
"""Writes the Netpbm files of this folder with Pillow (binary forms) and ImageMagick (text
forms, 16 bits, PAM), each with its RGBA decode as <file>.png. Run from this folder.
"""
import subprocess

from PIL import Image


def pattern():
    im = Image.new("RGBA", (23, 13))
    for y in range(13):
        for x in range(23):
            r, g, b = (x * 11 % 256, y * 19 % 256, (x * y * 7) % 256)
            im.putpixel((x, y), (r, g, b, 255 if x < 17 else 40 + y * 15))
    return im


def decode(name, reader="pillow"):
    if reader == "pillow":
        Image.open(name).convert("RGBA").save(name + ".png")
    else:
        subprocess.run(["convert", name, "PNG32:" + name + ".png"], check=True)


src = pattern()
for name, im in [("pillow_p6.ppm", src.convert("RGB")),
                 ("pillow_p5.pgm", src.convert("L")),
                 ("pillow_p4.pbm", src.convert("L").point(lambda v: 255 if v > 90 else 0).convert("1"))]:
    im.save(name)
    decode(name)
src.save("source.png")
for name, options in [("magick_p3.ppm", ["-alpha", "off", "-compress", "None"]),
                      ("magick_p2.pgm", ["-alpha", "off", "-colorspace", "Gray", "-compress", "None"]),
                      ("magick_p1.pbm", ["-alpha", "off", "-threshold", "35%", "-compress", "None"]),
                      ("magick_p6_16bit.ppm", ["-alpha", "off", "-depth", "16"]),
                      ("magick_p2_16bit.pgm", ["-alpha", "off", "-colorspace", "Gray", "-depth", "16", "-compress", "None"]),
                      ("magick_rgba.pam", []),
                      ("magick_grey_alpha.pam", ["-colorspace", "Gray"])]:
    subprocess.run(["convert", "source.png"] + options + [name], check=True)
    # Pillow clips 16-bit grey instead of scaling it; ImageMagick decodes those and PAM.
    decode(name, "magick" if name.endswith(".pam") or "16bit" in name else "pillow")
subprocess.run(["rm", "source.png"], check=True)
