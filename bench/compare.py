#!/usr/bin/python3
"""Side-by-side batch comparison of tessane-cli with peer tools on one corpus of photographs.

Usage: bench/compare.py BUILD_DIR CORPUS_DIR [REPEATS [SETTING]]
Prints a markdown table: for each setting (JPEG, PNG and HEIC sources), the CPU time (user + sys of the child and its
descendants) of each tool as a multiple of the decoding floor, with its peak memory (max RSS); then
tessane-cli's throughput with one job per core relative to one job (wall time). The floor is
bench/jpeg_floor: every JPEG decoded in one process at the job's DCT scale with the job's libjpeg
settings, nothing written. djpeg per file (the same decoding plus a process start for each file)
is shown beside it. The tools take turns within each of REPEATS rounds (default 3), so a burst of
load on the machine hits all of them alike; a CPU figure is the median of its rounds, a memory
figure the largest. SETTING keeps only the settings whose name contains it ("WebP"). Needs
/usr/bin/python3 for PIL.
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
    if fmt in ("jpg", "webp"):
        im.save(out + "/" + name, quality=75)
    else:
        im.save(out + "/" + name)
'''


def run(cmd):
    """Runs cmd; returns (CPU seconds of it and its descendants, wall seconds, max RSS in MB)."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise RuntimeError(f"{cmd[0]} failed with status {proc.returncode}")
    return usage.ru_utime + usage.ru_stime, wall, usage.ru_maxrss / 1024.0


def median(values):
    values = sorted(values)
    n = len(values)
    return values[n // 2] if n % 2 else (values[n // 2 - 1] + values[n // 2]) / 2


def rounds(cmds, repeats):
    """Runs every command of the dict once per round, in turn; per command the median CPU and
    wall seconds and the largest RSS."""
    runs = {name: [] for name in cmds}
    for _ in range(repeats):
        for name, cmd in cmds.items():
            runs[name].append(run(cmd))
    return {name: (median([r[0] for r in rs]), median([r[1] for r in rs]), max(r[2] for r in rs))
            for name, rs in runs.items()}


def window_cpu(build, files, size, ext, out, repeats):
    """Median CPU seconds of the window's batch run (offscreen driver), or None without it."""
    driver = os.path.join(build, "tests/tessane-window-batch")
    if not os.path.exists(driver):
        return None
    cpus = []
    for _ in range(repeats):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        text = subprocess.run([driver, out, "1" if ext == "jpg" else "2", str(size)] + files,
                              check=True, capture_output=True, text=True, env=env).stdout
        cpus.append(float(next(line.split()[1] for line in text.splitlines()
                               if line.startswith("cpu "))))
    return median(cpus)


def jpeg_scale(path, size):
    w, h = Image.open(path).size
    r = min(w / size, h / size)
    return 8 if r > 8 else 4 if r > 4 else 2 if r > 2 else 1


def floor_cmd(build, files, size):
    return [os.path.join(build, "bench/jpeg_floor"), str(size)] + files


def djpeg_cmd(files, size):
    # One shell running djpeg per file at the job's scale: decode only, output discarded.
    script = " && ".join(
        f"djpeg -dct float -scale 1/{jpeg_scale(f, size)} -outfile /dev/null '{f}'" for f in files)
    return ["sh", "-c", script]


def floor_parallel_cmd(files, size, jobs):
    # The same decoding split into `jobs` streams side by side: what this machine gives a parallel
    # run at this moment, to read the -j figure against.
    groups = [files[i::jobs] for i in range(jobs)]
    inner = [djpeg_cmd(g, size)[2] for g in groups if g]
    return ["sh", "-c", " & ".join(f"( {c} )" for c in inner) + " & wait"]


def tessane_cmd(build, files, size, ext, out, jobs):
    cli = os.path.join(build, "src/cli/tessane-cli")
    # WebP at the JPEG rows' quality, as every tool here is asked for.
    quality = ["--quality", "75"] if ext == "webp" else []
    return ([cli, "-q", "-j", str(jobs), "-s", str(size), "-f", ext, "--overwrite", "-d", out] +
            quality + files)


def peers(files, size, ext, out, heic=False):
    if shutil.which("vipsthumbnail"):
        suffix = "[Q=75]" if ext in ("jpg", "webp") else ""
        # One worker thread, like the other tools here.
        yield "vipsthumbnail", ["env", "VIPS_CONCURRENCY=1", "vipsthumbnail", "--size", str(size),
                                "-o", f"{out}/%s.{ext}{suffix}"] + files
    if not heic:  # Debian's Pillow reads no HEIF
        yield "Pillow", ["/usr/bin/python3", "-c", PILLOW_SCRIPT, str(size), ext, out] + files
    if shutil.which("mogrify"):
        yield "ImageMagick", ["mogrify", "-path", out, "-define", f"jpeg:size={2*size}x{2*size}",
                              "-filter", "Lanczos", "-resize", f"{size}x{size}", "-quality", "75",
                              "-format", ext] + files


def main():
    build, corpus = sys.argv[1], sys.argv[2]
    repeats = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    only = sys.argv[4] if len(sys.argv) > 4 else ""
    jpegs = sorted(os.path.join(corpus, "jpeg", f) for f in os.listdir(os.path.join(corpus, "jpeg")))
    pngs = sorted(os.path.join(corpus, "png", f) for f in os.listdir(os.path.join(corpus, "png")))
    heic_dir = os.path.join(corpus, "heic")
    heics = sorted(os.path.join(heic_dir, f) for f in os.listdir(heic_dir)
                   if f.endswith(".heic")) if os.path.isdir(heic_dir) else []
    cores = os.cpu_count() or 1
    settings = [("JPEG -> 320 px JPEG q75", jpegs, 320, "jpg"),
                ("JPEG -> 1024 px JPEG q75", jpegs, 1024, "jpg"),
                ("JPEG -> 320 px PNG", jpegs, 320, "png"),
                ("PNG -> 320 px JPEG q75", pngs, 320, "jpg"),
                ("JPEG -> 320 px WebP q75", jpegs, 320, "webp"),
                ("HEIC -> 320 px JPEG q75", heics, 320, "jpg")]
    tools = ["tessane-cli", "vipsthumbnail", "Pillow", "ImageMagick"]
    print(f"Corpus: {len(jpegs)} JPEGs, {len(pngs)} PNGs, {len(heics)} HEICs (the JPEGs through "
          f"heif-enc); {cores} cores; medians of {repeats} "
          f"alternating rounds; load average {os.getloadavg()[0]:.2f} at the start.")
    print("Cells: CPU time (user+sys) as a multiple of the floor (bench/jpeg_floor: the JPEGs")
    print("decoded in one process at the job's DCT scale, nothing written), and peak RSS. PNG")
    print("and HEIC sources have no floor: their cells are multiples of tessane-cli's own time.")
    print("Pillow reads no HEIC. The last")
    print("column's 'djpeg gets' is the same speed-up for djpeg split into parallel streams: what")
    print("the machine offered a parallel run at that moment.\n")
    print("| Setting | floor: in-process decoding | djpeg per file | " + " | ".join(tools) +
          f" | tessane-cli -j{cores} throughput vs -j1 |")
    print("|---" * (len(tools) + 4) + "|")
    window_rows = []
    for name, files, size, ext in settings:
        if not files or only not in name:
            continue
        with tempfile.TemporaryDirectory() as out:
            cmds = {}
            if files is jpegs:
                cmds["floor"] = floor_cmd(build, files, size)
                cmds["djpeg"] = djpeg_cmd(files, size)
            cmds["tessane-cli"] = tessane_cmd(build, files, size, ext, out, 1)
            for tool, cmd in peers(files, size, ext, out, heic=files is heics):
                cmds[tool] = cmd
            cmds["parallel"] = tessane_cmd(build, files, size, ext, out, cores)
            cells = rounds(cmds, repeats)
            floor = cells.get("floor")
            machine = None
            if floor:
                machine = cells["djpeg"][1] / rounds(
                    {"p": floor_parallel_cmd(files, size, cores)}, repeats)["p"][1]
            # The window reads no HEIC.
            window = None if files is heics else window_cpu(build, files, size, ext, out, repeats)
            if window is not None:
                window_rows.append((name, window / cells["tessane-cli"][0]))
        base = floor[0] if floor else cells["tessane-cli"][0]

        def cell(entry):
            return f"{entry[0] / base:.2f} x, {entry[2]:.0f} MB"

        par = cells["parallel"]
        row = [name, f"{floor[0]:.2f} s, {floor[2]:.0f} MB" if floor else "n/a",
               cell(cells["djpeg"]) if floor else "n/a"]
        row += [cell(cells[t]) if t in cells else "n/a" for t in tools]
        # The CPU cost of the parallel run tells overhead apart from a machine with no core free.
        row.append(f"{cells['tessane-cli'][1] / par[1]:.2f} x ({len(files) / par[1]:.1f} files/s; "
                   f"CPU {par[0] / cells['tessane-cli'][0]:.2f} x), {par[2]:.0f} MB"
                   + (f"; djpeg gets {machine:.2f} x" if machine else ""))
        print("| " + " | ".join(row) + " |", flush=True)
    if window_rows:
        print("\nThe window's batch run (one file at a time on the UI thread, offscreen), CPU time")
        print("relative to tessane-cli -j 1 on the same list:\n")
        print("| Setting | window / tessane-cli -j 1 |\n|---|---|")
        for name, ratio in window_rows:
            print(f"| {name} | {ratio:.2f} x |")


if __name__ == "__main__":
    main()
