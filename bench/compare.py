#!/usr/bin/python3
"""Side-by-side batch comparison of tessane-cli with peer tools on one corpus of photographs.

Usage: bench/compare.py BUILD_DIR CORPUS_DIR
Prints a markdown table: for each setting, the time of each tool as a multiple of the decoding
floor (djpeg at the job's DCT scale), its throughput and its peak memory.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image

PILLOW_SCRIPT = r'''
import sys
from PIL import Image
size, fmt, out = int(sys.argv[1]), sys.argv[2], sys.argv[3]
for path in sys.argv[4:]:
    im = Image.open(path)
    if im.format == "JPEG":
        im.draft("RGB", (size, size))
    im = im.convert("RGB")
    im.thumbnail((size, size), Image.LANCZOS)
    name = path.rsplit("/", 1)[-1].rsplit(".", 1)[0] + "." + fmt
    if fmt == "jpg":
        im.save(out + "/" + name, quality=75)
    else:
        im.save(out + "/" + name)
'''


def timed(cmd, env=None):
    """Runs cmd under /usr/bin/time; returns (seconds, peak RSS in MB)."""
    with tempfile.NamedTemporaryFile("r") as t:
        start = time.monotonic()
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", t.name] + cmd, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
        seconds = time.monotonic() - start
        return seconds, int(t.read().split()[-1]) / 1024.0


def jpeg_scale(path, size):
    w, h = Image.open(path).size
    r = min(w / size, h / size)
    return 8 if r > 8 else 4 if r > 4 else 2 if r > 2 else 1


def floor_cmd(files, size):
    # One shell running djpeg per file at the job's scale: decode only, output discarded.
    script = " && ".join(
        f"djpeg -dct float -scale 1/{jpeg_scale(f, size)} -outfile /dev/null '{f}'" for f in files)
    return ["sh", "-c", script]


def tools(build, files, size, fmt, out, jobs):
    cli = os.path.join(build, "src/cli/tessane-cli")
    ext = "jpg" if fmt == "jpg" else "png"
    yield "tessane-cli", [cli, "-q", "-j", str(jobs), "-s", str(size), "-f", ext, "--overwrite",
                          "-d", out] + files
    if shutil.which("vipsthumbnail"):
        suffix = f"[Q=75]" if fmt == "jpg" else ""
        cmd = ["vipsthumbnail", "--size", str(size), "-o", f"{out}/%s.{ext}{suffix}"] + files
        if jobs > 1:
            cmd = ["sh", "-c", "printf '%s\\n' \"$@\" | xargs -P %d -n 4 vipsthumbnail --size %d -o '%s/%%s.%s%s'"
                   % (jobs, size, out, ext, suffix), "sh"] + files
        yield "vipsthumbnail", cmd
    yield "Pillow", ["/usr/bin/python3", "-c", PILLOW_SCRIPT, str(size), ext, out] + files
    if shutil.which("mogrify"):
        yield "ImageMagick", ["mogrify", "-path", out, "-define", f"jpeg:size={2*size}x{2*size}",
                              "-filter", "Lanczos", "-resize", f"{size}x{size}", "-quality", "75",
                              "-format", ext] + files


def main():
    build, corpus = sys.argv[1], sys.argv[2]
    jpegs = sorted(os.path.join(corpus, "jpeg", f) for f in os.listdir(os.path.join(corpus, "jpeg")))
    pngs = sorted(os.path.join(corpus, "png", f) for f in os.listdir(os.path.join(corpus, "png")))
    cores = os.cpu_count() or 1
    settings = [("JPEG -> 320 px JPEG q75", jpegs, 320, "jpg"),
                ("JPEG -> 1024 px JPEG q75", jpegs, 1024, "jpg"),
                ("JPEG -> 320 px PNG", jpegs, 320, "png"),
                ("PNG -> 320 px JPEG q75", pngs, 320, "jpg")]
    print(f"Corpus: {len(jpegs)} JPEGs, {len(pngs)} PNGs; {cores} cores; single job unless noted.\n")
    print("| Setting | floor (djpeg) | tessane-cli | vipsthumbnail | Pillow | ImageMagick | tessane-cli -j%d |" % cores)
    print("|---|---|---|---|---|---|---|")
    for name, files, size, fmt in settings:
        if not files:
            continue
        with tempfile.TemporaryDirectory() as out:
            floor = None
            if files is jpegs:
                floor, _ = timed(floor_cmd(files, size))
            cells = {}
            for tool, cmd in tools(build, files, size, fmt, out, 1):
                cells[tool] = timed(cmd)
            par, par_mem = timed(next(tools(build, files, size, fmt, out, cores))[1])
        base = floor or cells["tessane-cli"][0]
        def cell(entry):
            s, m = entry
            return f"{s / base:.2f} x ({len(files) / s:.1f} files/s, {m:.0f} MB)"
        row = [name, f"{floor:.2f} s" if floor else "n/a"]
        for tool in ["tessane-cli", "vipsthumbnail", "Pillow", "ImageMagick"]:
            row.append(cell(cells[tool]) if tool in cells else "n/a")
        row.append(cell((par, par_mem)))
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()
