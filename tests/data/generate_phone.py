#!/usr/bin/python3
"""Regenerates the phone-like fixtures in tests/data/phone/: one picture as a phone leaves it, with
EXIF (a capture date, orientation 1 since the encoders keep the pixels upright), an XMP packet and
the Display P3 profile of tests/data/colour, as JPEG (phone.jpg, the source of the others), HEIC
and AVIF (heif-enc), JPEG XL (cjxl, JPEG recompression) and WebP (cwebp, webpmux). Needs
python3-pil.

The picture is 48 x 32: four flat quadrants of strong colours, so a profile that is applied or
dropped shows in every pixel.
"""
import os
import struct
import subprocess
import tempfile

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "phone")
QUADRANTS = [(220, 40, 40), (40, 200, 40), (40, 40, 220), (230, 220, 60)]
DATE = "2021:07:14 09:30:05"
XMP = (b'<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?>'
       b'<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF '
       b'xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
       b'<rdf:Description rdf:about="" xmlns:xmp="http://ns.adobe.com/xap/1.0/" '
       b'xmp:Rating="4"/></rdf:RDF></x:xmpmeta><?xpacket end="w"?>')


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def picture():
    im = Image.new("RGB", (48, 32))
    px = im.load()
    for y in range(32):
        for x in range(48):
            px[x, y] = QUADRANTS[(x >= 24) + 2 * (y >= 16)]
    return im


def exif():
    """A little-endian TIFF structure: IFD0 {Make, Orientation 1, Exif IFD}, Exif IFD
    {DateTimeOriginal}."""
    make = b"Tessane\0"
    date = DATE.encode() + b"\0"
    ifd0 = 8
    exif_ifd = ifd0 + 2 + 3 * 12 + 4
    make_at = exif_ifd + 2 + 12 + 4
    date_at = make_at + len(make)
    out = b"II" + struct.pack("<HI", 42, ifd0)
    out += struct.pack("<H", 3)
    out += struct.pack("<HHII", 0x010F, 2, len(make), make_at)
    out += struct.pack("<HHIHH", 0x0112, 3, 1, 1, 0)
    out += struct.pack("<HHII", 0x8769, 4, 1, exif_ifd)
    out += struct.pack("<I", 0)
    out += struct.pack("<H", 1)
    out += struct.pack("<HHII", 0x9003, 2, len(date), date_at)
    out += struct.pack("<I", 0)
    return b"Exif\0\0" + out + make + date


def main():
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(HERE, "colour", "display_p3.icc"), "rb") as f:
        icc = f.read()
    jpeg = os.path.join(OUT, "phone.jpg")
    picture().save(jpeg, quality=92, exif=exif(), icc_profile=icc, xmp=XMP)
    run("heif-enc", "-q", "90", "-o", os.path.join(OUT, "phone.heic"), jpeg)
    run("heif-enc", "-A", "-q", "90", "-o", os.path.join(OUT, "phone.avif"), jpeg)
    run("cjxl", jpeg, os.path.join(OUT, "phone.jxl"))
    with tempfile.TemporaryDirectory() as tmp:
        plain = os.path.join(tmp, "plain.webp")
        run("cwebp", "-q", "90", jpeg, "-o", plain)
        exif_file = os.path.join(tmp, "exif.bin")
        with open(exif_file, "wb") as f:
            f.write(exif()[6:])
        icc_file = os.path.join(tmp, "p3.icc")
        with open(icc_file, "wb") as f:
            f.write(icc)
        xmp_file = os.path.join(tmp, "xmp.xml")
        with open(xmp_file, "wb") as f:
            f.write(XMP)
        step1 = os.path.join(tmp, "1.webp")
        step2 = os.path.join(tmp, "2.webp")
        run("webpmux", "-set", "icc", icc_file, plain, "-o", step1)
        run("webpmux", "-set", "exif", exif_file, step1, "-o", step2)
        run("webpmux", "-set", "xmp", xmp_file, step2, "-o", os.path.join(OUT, "phone.webp"))


if __name__ == "__main__":
    main()
