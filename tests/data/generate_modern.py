#!/usr/bin/python3
"""Regenerates the HEIF, AVIF, WebP and JPEG XL fixtures in tests/data/<format>/ with the encoders
Debian ships (heif-enc, avifenc, cwebp/img2webp, cjxl) and their reference decodes (<file>.png,
made by heif-convert, avifdec, dwebp or djxl), and the pictures the lossless files were made from
(tests/data/modern/). Run from anywhere; needs python3-pil.

The pictures are 32 x 24 (rotated ones 24 x 32 upright): four flat quadrants of distinct colours
with a faint ripple, so a turned or mirrored decode and a wrong channel order both show.
"""
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
QUADRANTS = [(220, 40, 40), (40, 200, 40), (40, 40, 220), (230, 220, 60)]


def upright(alpha=False):
    """The upright test picture, 32 x 24; with alpha, transparency grows to the right."""
    im = Image.new("RGBA" if alpha else "RGB", (32, 24))
    px = im.load()
    for y in range(24):
        for x in range(32):
            q = (x >= 16) + 2 * (y >= 12)
            c = tuple(min(255, v + (x + y) % 4) for v in QUADRANTS[q])
            px[x, y] = c + (255 - 8 * x,) if alpha else c
    return im


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# --- ISO base media boxes: adds a rotation property to the primary item of a HEIF file ---

def boxes(data, start, end):
    at = start
    while at < end:
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        yield kind.decode("latin-1"), at, size
        at += size


def find(data, start, end, kind):
    for k, at, size in boxes(data, start, end):
        if k == kind:
            return at, size
    raise ValueError("no %s box" % kind)


def add_rotation(path, angle):
    """Gives the primary item an 'irot' property of angle x 90 degrees anti-clockwise: the
    property box joins 'ipco', an essential association joins 'ipma', the enclosing sizes grow and
    the 'iloc' offsets into 'mdat' (which follows 'meta') move by the bytes added."""
    data = bytearray(open(path, "rb").read())
    meta, meta_size = find(data, 0, len(data), "meta")
    body = meta + 12  # full box
    pitm, _ = find(data, body, meta + meta_size, "pitm")
    version = data[pitm + 8]
    primary = struct.unpack(">H" if version == 0 else ">I",
                            data[pitm + 12:pitm + (14 if version == 0 else 16)])[0]
    iprp, iprp_size = find(data, body, meta + meta_size, "iprp")
    ipco, ipco_size = find(data, iprp + 8, iprp + iprp_size, "ipco")
    count = sum(1 for _ in boxes(data, ipco + 8, ipco + ipco_size))
    irot = struct.pack(">I4sB", 9, b"irot", angle & 3)
    ipma, ipma_size = find(data, iprp + 8, iprp + iprp_size, "ipma")
    version, flags = data[ipma + 8], int.from_bytes(data[ipma + 9:ipma + 12], "big")
    entries = struct.unpack(">I", data[ipma + 12:ipma + 16])[0]
    at = ipma + 16
    insert_at = None
    for _ in range(entries):
        id_size = 2 if version < 1 else 4
        item = int.from_bytes(data[at:at + id_size], "big")
        at += id_size
        n = data[at]
        if item == primary:
            data[at] = n + 1
            insert_at = at + 1 + n * (2 if flags & 1 else 1)
        at += 1 + n * (2 if flags & 1 else 1)
    if insert_at is None:
        raise ValueError("primary item has no properties")
    index = count + 1
    assoc = struct.pack(">H", 0x8000 | index) if flags & 1 else bytes([0x80 | index])
    grow = len(irot) + len(assoc)
    # Sizes first (every header lies before the bytes added), then the later insertion first,
    # so that the earlier position stays valid.
    for at, add in ((meta, grow), (iprp, grow), (ipco, len(irot)), (ipma, len(assoc))):
        size = struct.unpack(">I", data[at:at + 4])[0]
        data[at:at + 4] = struct.pack(">I", size + add)
    for at, payload in sorted(((insert_at, assoc), (ipco + ipco_size, irot)), reverse=True):
        data[at:at] = payload
    fix_iloc(data, meta, grow)
    open(path, "wb").write(bytes(data))


def fix_iloc(data, meta, grow):
    meta_size = struct.unpack(">I", data[meta:meta + 4])[0]
    iloc, _ = find(data, meta + 12, meta + meta_size, "iloc")
    version = data[iloc + 8]
    at = iloc + 12
    offset_size, length_size = data[at] >> 4, data[at] & 15
    base_size, index_size = data[at + 1] >> 4, (data[at + 1] & 15) if version >= 1 else 0
    at += 2
    count = struct.unpack(">H" if version < 2 else ">I", data[at:at + (2 if version < 2 else 4)])[0]
    at += 2 if version < 2 else 4

    def shift(pos, size):
        if size:
            v = int.from_bytes(data[pos:pos + size], "big")
            if v >= meta:
                data[pos:pos + size] = (v + grow).to_bytes(size, "big")

    for _ in range(count):
        at += 2 if version < 2 else 4
        method = 0
        if version >= 1:
            method = data[at + 1] & 15
            at += 2
        at += 2  # data reference index
        base_pos = at
        at += base_size
        extents = struct.unpack(">H", data[at:at + 2])[0]
        at += 2
        if method == 0 and base_size and int.from_bytes(data[base_pos:base_pos + base_size], "big"):
            shift(base_pos, base_size)
            at += extents * (index_size + offset_size + length_size)
            continue
        for _ in range(extents):
            at += index_size
            if method == 0:
                shift(at, offset_size)
            at += offset_size + length_size


def main():
    with tempfile.TemporaryDirectory() as tmp:
        t = lambda name: os.path.join(tmp, name)
        upright().save(t("src.png"))
        upright(alpha=True).save(t("alpha.png"))
        # Stored turned a quarter anti-clockwise, with the EXIF orientation (6) that turns it back.
        exif = Image.Exif()
        exif[0x0112] = 6
        upright().rotate(90, expand=True).save(t("o6.jpg"), quality=95, exif=exif.tobytes())
        # An animation whose second frame differs everywhere.
        upright().save(t("frame1.png"))
        upright().transpose(Image.Transpose.ROTATE_180).save(t("frame2.png"))

        d = lambda fmt, name: os.path.join(HERE, fmt, name)
        # HEIF: lossy, with alpha, and with a rotation property on top of the EXIF orientation.
        run("heif-enc", "-q", "90", "-o", d("heif", "photo.heic"), t("src.png"))
        run("heif-enc", "-q", "90", "-o", d("heif", "alpha.heic"), t("alpha.png"))
        run("heif-enc", "-q", "90", "-o", d("heif", "rotated.heic"), t("o6.jpg"))
        add_rotation(d("heif", "rotated.heic"), 3)
        for name in ("photo.heic", "alpha.heic", "rotated.heic"):
            run("heif-convert", d("heif", name), d("heif", name + ".png"))

        # AVIF: 8 and 10 bits, lossless with alpha, and rotated (irot 3 + EXIF orientation 6).
        run("avifenc", "-s", "8", "-j", "1", t("src.png"), d("avif", "photo.avif"))
        run("avifenc", "-s", "8", "-j", "1", "-d", "10", t("src.png"), d("avif", "deep10.avif"))
        run("avifenc", "-s", "8", "-j", "1", "-l", t("alpha.png"), d("avif", "lossless_alpha.avif"))
        run("avifenc", "-s", "8", "-j", "1", "--irot", "3", t("o6.jpg"), d("avif", "rotated.avif"))
        for name in ("photo.avif", "deep10.avif"):
            run("avifdec", "-d", "8", d("avif", name), d("avif", name + ".png"))
        # avifdec writes the stored pixels; heif-convert applies the rotation.
        run("heif-convert", d("avif", "rotated.avif"), d("avif", "rotated.avif.png"))

        # WebP: lossy, lossless with alpha, an animation, and EXIF orientation 6 on stored pixels.
        run("cwebp", "-quiet", "-q", "80", t("src.png"), "-o", d("webp", "lossy.webp"))
        run("cwebp", "-quiet", "-lossless", "-exact", t("alpha.png"), "-o",
            d("webp", "lossless_alpha.webp"))
        run("img2webp", "-lossless", "-d", "100", t("frame1.png"), t("frame2.png"), "-o",
            d("webp", "animated.webp"))
        run("cwebp", "-quiet", "-q", "90", "-metadata", "exif", t("o6.jpg"), "-o",
            d("webp", "exif_o6.webp"))
        for name in ("lossy.webp", "exif_o6.webp"):
            run("dwebp", "-quiet", d("webp", name), "-o", d("webp", name + ".png"))

        # JPEG XL: lossless with alpha, lossy, and a recompressed JPEG with orientation 6.
        run("cjxl", t("alpha.png"), d("jxl", "lossless_alpha.jxl"), "-d", "0")
        run("cjxl", t("src.png"), d("jxl", "lossy.jxl"), "-d", "1")
        run("cjxl", t("o6.jpg"), d("jxl", "rotated.jxl"))
        for name in ("lossy.jxl", "rotated.jxl"):
            run("djxl", d("jxl", name), d("jxl", name + ".png"))

        # Fuzz seeds for what the fixtures leave out: lossy alpha, grey, 10 bits, animation.
        seeds = lambda name, f: os.path.join(HERE, "..", "..", "fuzz", "seeds", name, f)
        upright().convert("L").save(t("grey.png"))
        run("convert", t("src.png"), "-depth", "16", t("deep.png"))  # 16-bit RGB PNG
        upright().save(t("anim.gif"), save_all=True,
                       append_images=[upright().transpose(Image.Transpose.ROTATE_180)])
        run("heif-enc", "-q", "50", "-b", "10", "-o", seeds("heif", "deep10.heic"), t("deep.png"))
        run("heif-enc", "-A", "-q", "50", "-o", seeds("heif", "avif_in_heif.heif"), t("alpha.png"))
        run("avifenc", "-s", "8", "-j", "1", "--yuv", "400", t("grey.png"), seeds("avif", "grey.avif"))
        run("avifenc", "-s", "8", "-j", "1", "--min", "30", "--max", "40", "--imir", "1",
            t("alpha.png"), seeds("avif", "lossy_alpha_mirrored.avif"))
        run("cwebp", "-quiet", "-q", "50", t("alpha.png"), "-o", seeds("webp", "lossy_alpha.webp"))
        run("img2webp", "-lossy", "-q", "50", t("frame1.png"), t("alpha.png"), "-o",
            seeds("webp", "animated_lossy.webp"))
        run("cjxl", t("grey.png"), seeds("jxl", "grey.jxl"), "-d", "2")
        run("cjxl", t("anim.gif"), seeds("jxl", "animated.jxl"))

        # The sources of the lossless files, for exact comparisons.
        os.makedirs(os.path.join(HERE, "modern"), exist_ok=True)
        upright().save(os.path.join(HERE, "modern", "upright.png"))
        upright(alpha=True).save(os.path.join(HERE, "modern", "upright_alpha.png"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
