#!/usr/bin/python3
"""How the default qualities of the WebP and AVIF outputs were chosen.

Usage: bench/choose_quality.py BUILD_DIR CORPUS_DIR [PICTURES [SIZE]]
Takes the first PICTURES JPEGs of the corpus (default 10), scales each to SIZE pixels (default
1024) with tessane-cli, and compares every encoding against the lossless (PNG) output of the
same scaling with butteraugli (Debian's butteraugli package): our JPEG at its quality 75, WebP
and AVIF over a range of qualities. Prints per setting the median and the largest butteraugli
distance and the total bytes. The default of each new format is its lowest quality whose median
distance is no larger than the JPEG's: the same perceived quality as our JPEG output, in fewer
bytes.
"""
import os
import statistics
import subprocess
import sys
import tempfile

WEBP = list(range(50, 100, 5))
AVIF = list(range(30, 85, 5))


def run(cmd):
    return subprocess.run(cmd, check=True, capture_output=True, text=True).stdout


def cli(build, src, out, size, fmt, quality=None):
    cmd = [os.path.join(build, "src/cli/tessane-cli"), "-q", "-j", "1", "--overwrite", "-s",
           str(size), "-f", fmt, "-d", out, src]
    if quality is not None:
        cmd[1:1] = ["--quality", str(quality)]
    run(cmd)
    return os.path.join(out, os.path.splitext(os.path.basename(src))[0] + "." + fmt)


def to_png(path, png):
    if path.endswith(".webp"):
        run(["dwebp", path, "-o", png])
    elif path.endswith(".avif"):
        run(["heif-convert", path, png])
    else:
        run(["convert", path, png])


def distance(ref, png):
    return float(run(["butteraugli", ref, png]).split()[0])


def main():
    build, corpus = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    size = int(sys.argv[4]) if len(sys.argv) > 4 else 1024
    folder = os.path.join(corpus, "jpeg")
    sources = sorted(os.path.join(folder, f) for f in os.listdir(folder))[:count]
    settings = [("jpg", 75)] + [("webp", q) for q in WEBP] + [("avif", q) for q in AVIF]
    results = {s: ([], []) for s in settings}
    with tempfile.TemporaryDirectory() as tmp:
        for src in sources:
            ref = cli(build, src, tmp, size, "png")
            ref_png = os.path.join(tmp, "ref.png")
            os.replace(ref, ref_png)
            for fmt, q in settings:
                out = cli(build, src, tmp, size, fmt, None if fmt == "jpg" else q)
                dec = os.path.join(tmp, "dec.png")
                to_png(out, dec)
                results[(fmt, q)][0].append(distance(ref_png, dec))
                results[(fmt, q)][1].append(os.path.getsize(out))
                os.remove(out)
    print(f"{len(sources)} photographs at {size} px; butteraugli distance against the lossless "
          "scaling (lower is better)\n")
    print("| Output | quality | median distance | largest | bytes | vs JPEG q75 |\n|---|---|---|---|---|---|")
    jpeg_bytes = sum(results[("jpg", 75)][1])
    jpeg_median = statistics.median(results[("jpg", 75)][0])
    chosen = {}
    for (fmt, q), (dist, sizes) in results.items():
        median = statistics.median(dist)
        if fmt != "jpg" and fmt not in chosen and median <= jpeg_median:
            chosen[fmt] = q
        print(f"| {fmt} | {q} | {median:.3f} | {max(dist):.3f} | {sum(sizes):,} | "
              f"{sum(sizes) / jpeg_bytes:.2f} x |")
    print("\nLowest quality at or below the JPEG's median distance:", chosen)


if __name__ == "__main__":
    main()
