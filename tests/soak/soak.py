#!/usr/bin/python3
"""Soak test of the batch paths.

Builds a folder of small mixed image files (a tenth of them corrupt), then runs tessane-cli over it
with one job and with one job per core, and the window's batch run over the same list offscreen.
Each run is watched from outside through /proc: resident memory and thread count are sampled
while it works, so that growth across the run shows.

Checks: every good file is written exactly once, every corrupt file is reported by the command
(and written by neither path), no temporary or empty file is left in a destination, memory late in
the run stays close to memory early in the run, and the thread count does not exceed the jobs.
The command is also stopped part-way by SIGINT and by SIGTERM: it must end with 130 / 143 and its
summary, leaving only complete pictures and no temporary file.

  soak.py BUILD_DIR [--files N] [--keep DIR]
"""

import argparse
import io
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from PIL import Image

SIZE = 48  # output size: small, so that the run measures the batch machinery, not the codecs


def base_pictures(rng):
    """A few dozen small, valid pictures in the formats the program reads, as (ext, bytes)."""
    shapes = [(37, 23), (64, 64), (120, 80), (17, 211), (256, 190)]
    kinds = [
        ("jpg", "RGB", "JPEG"), ("jpg", "L", "JPEG"), ("png", "RGBA", "PNG"),
        ("png", "P", "PNG"), ("png", "L", "PNG"), ("gif", "P", "GIF"), ("bmp", "RGB", "BMP"),
        ("bmp", "P", "BMP"), ("tga", "RGB", "TGA"), ("pcx", "RGB", "PCX"), ("tif", "RGB", "TIFF"),
        ("ppm", "RGB", "PPM"), ("pgm", "L", "PPM"), ("sgi", "RGB", "SGI"),
    ]
    pictures = []
    for i, (ext, mode, fmt) in enumerate(kinds):
        w, h = shapes[i % len(shapes)]
        img = Image.radial_gradient("L").resize((w, h)).convert("RGB")
        img = Image.merge("RGB", (img.getchannel(0), img.getchannel(0).rotate(90), Image.new("L", (w, h), rng.randrange(256))))
        if mode == "RGBA":
            img = img.convert("RGBA")
            img.putalpha(Image.linear_gradient("L").resize((w, h)))
        elif mode == "P":
            img = img.convert("P", palette=Image.ADAPTIVE, colors=64)
        else:
            img = img.convert(mode)
        data = io.BytesIO()
        img.save(data, fmt)
        pictures.append((ext, data.getvalue()))
    return pictures


def corrupt(rng, ext, data):
    """A damaged copy that no reader can take for a picture."""
    kind = rng.randrange(3)
    if kind == 0:
        return b""                                           # empty file
    if kind == 1:
        return bytes(rng.randrange(256) for _ in range(rng.randrange(1, 300)))  # noise
    return data[: min(len(data) - 1, rng.randrange(2, 12))]  # cut inside the header


def make_corpus(folder, count, rng):
    pictures = base_pictures(rng)
    good, bad = [], []
    for i in range(count):
        ext, data = pictures[i % len(pictures)]
        path = os.path.join(folder, f"f{i:04d}.{ext}")
        if i % 10 == 7:
            data = corrupt(rng, ext, data)
            bad.append(path)
        else:
            good.append(path)
        with open(path, "wb") as f:
            f.write(data)
    return good, bad


def status_fields(pid):
    fields = {}
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                key, _, value = line.partition(":")
                if key in ("VmRSS", "VmHWM", "Threads"):
                    fields[key] = int(value.split()[0])
    except (FileNotFoundError, ProcessLookupError, ValueError):
        pass
    return fields


def watched_run(command):
    """Runs the command, sampling its memory and threads; returns (stdout, stderr, samples, rc)."""
    out = tempfile.TemporaryFile()
    err = tempfile.TemporaryFile()
    start = time.monotonic()
    proc = subprocess.Popen(command, stdout=out, stderr=err, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    samples = []
    while proc.poll() is None:
        fields = status_fields(proc.pid)
        if fields:
            samples.append((time.monotonic() - start, fields))
        time.sleep(0.01)
    out.seek(0)
    err.seek(0)
    return out.read().decode(errors="replace"), err.read().decode(errors="replace"), samples, proc.returncode


def memory_profile(samples):
    """Resident memory (MB) at a quarter and at the end of the samples, peak, and the most threads."""
    if not samples:
        return 0.0, 0.0, 0.0, 0
    rss = [s["VmRSS"] for _, s in samples if "VmRSS" in s]
    quarter = rss[len(rss) // 4] / 1024
    late = max(rss[-max(1, len(rss) // 10):]) / 1024
    peak = max(s.get("VmHWM", 0) for _, s in samples) / 1024
    threads = max(s.get("Threads", 0) for _, s in samples)
    return quarter, late, peak, threads


def check_destination(dest, good, bad, failures):
    names = sorted(os.listdir(dest))
    expected = sorted(os.path.splitext(os.path.basename(p))[0] + ".png" for p in good)
    if names != expected:
        missing = sorted(set(expected) - set(names))[:5]
        extra = sorted(set(names) - set(expected))[:5]
        failures.append(f"{dest}: {len(names)} files, {len(expected)} expected; missing {missing}, extra {extra}")
    for name in names:
        if os.path.getsize(os.path.join(dest, name)) == 0:
            failures.append(f"{dest}/{name} is empty")


def interrupted_run(cli, cores, sources, dest, sig, failures):
    """Stops a run once some outputs exist; returns how many files it had written."""
    label = f"tessane-cli stopped by {signal.Signals(sig).name}"
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    proc = subprocess.Popen([cli, "-j", str(cores), "-f", "png", "-s", str(SIZE), "-d", dest, sources],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    deadline = time.monotonic() + 60
    while proc.poll() is None and len(os.listdir(dest)) < 50 and time.monotonic() < deadline:
        time.sleep(0.005)
    if proc.poll() is not None:
        failures.append(f"{label}: the run ended before it could be stopped")
        return 0
    proc.send_signal(sig)
    try:
        stdout, _ = proc.communicate(timeout=60)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.communicate()
        failures.append(f"{label}: did not end within 60 s of the signal")
        return 0
    if proc.returncode != 128 + sig:
        failures.append(f"{label}: exit status {proc.returncode}, {128 + sig} expected")
    if b"Interrupted" not in stdout:
        failures.append(f"{label}: no summary of the stop: {stdout[-300:]!r}")
    names = os.listdir(dest)
    for name in names:
        path = os.path.join(dest, name)
        if name.startswith("."):
            failures.append(f"{label}: {name} left behind")
            continue
        try:
            with Image.open(path) as img:
                img.load()
        except Exception as e:  # a partial output is the fault looked for
            failures.append(f"{label}: {name} is not a complete picture ({e})")
    return len(names)


def sanitizer_build(build):
    """True for a build with AddressSanitizer, whose quarantine of freed blocks (up to 256 MB)
    makes resident memory grow whatever the program does."""
    try:
        with open(os.path.join(build, "CMakeCache.txt")) as f:
            return any(line.strip() == "TESSANE_SANITIZE:BOOL=ON" for line in f)
    except OSError:
        return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--keep")
    args = parser.parse_args()

    cli = os.path.join(args.build, "src", "cli", "tessane-cli")
    window = os.path.join(args.build, "tests", "tessane-window-batch")
    root = args.keep or tempfile.mkdtemp(prefix="tessane-soak-")
    os.makedirs(root, exist_ok=True)
    sources = os.path.join(root, "sources")
    shutil.rmtree(sources, ignore_errors=True)
    os.makedirs(sources)
    good, bad = make_corpus(sources, args.files, random.Random(1234))

    cores = os.cpu_count() or 1
    failures = []
    watch_growth = not sanitizer_build(args.build)
    if not watch_growth:
        print("sanitizer build: memory growth is not judged")
    print(f"{len(good) + len(bad)} files ({len(bad)} corrupt), {cores} cores")
    print(f"{'run':<22} {'wall s':>7} {'RSS@25% MB':>11} {'RSS end MB':>11} {'peak MB':>8} {'threads':>8}")

    runs = [(f"tessane-cli -j {cores}", [cli, "-q", "-j", str(cores)]), ("tessane-cli -j 1", [cli, "-q", "-j", "1"])]
    for label, base in runs:
        dest = os.path.join(root, "out-" + label.split()[-1])
        shutil.rmtree(dest, ignore_errors=True)
        os.makedirs(dest)
        start = time.monotonic()
        stdout, stderr, samples, rc = watched_run(base + ["-f", "png", "-s", str(SIZE), "-d", dest, sources])
        wall = time.monotonic() - start
        quarter, late, peak, threads = memory_profile(samples)
        print(f"{label:<22} {wall:7.2f} {quarter:11.1f} {late:11.1f} {peak:8.1f} {threads:8d}")
        if rc != 1:
            failures.append(f"{label}: exit status {rc}, 1 expected (some files fail)")
        reported = [p for p in bad if p in stderr + stdout]
        if len(reported) != len(bad):
            failures.append(f"{label}: {len(reported)} of {len(bad)} corrupt files reported")
        wrongly = [p for p in good if p in stderr]
        if wrongly:
            failures.append(f"{label}: good files reported as failed, e.g. {wrongly[:3]}")
        check_destination(dest, good, bad, failures)
        if threads > cores + 2:
            failures.append(f"{label}: {threads} threads for {cores} jobs")
        if watch_growth and late > quarter * 1.5 + 16:
            failures.append(f"{label}: memory grew from {quarter:.1f} MB to {late:.1f} MB")

    for sig in (signal.SIGINT, signal.SIGTERM):
        count = interrupted_run(cli, cores, sources, os.path.join(root, "out-stopped"), sig, failures)
        print(f"{'stopped by ' + signal.Signals(sig).name:<22} {count:7d} files written before the stop")

    dest = os.path.join(root, "out-window")
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    start = time.monotonic()
    stdout, stderr, samples, rc = watched_run([window, dest, "2", str(SIZE)] + sorted(good + bad))
    wall = time.monotonic() - start
    quarter, late, peak, _ = memory_profile(samples)
    report = dict(line.split(" ", 1) for line in stdout.splitlines() if " " in line)
    end_threads = int(report.get("threads", "-1"))
    print(f"{'window batch run':<22} {wall:7.2f} {quarter:11.1f} {late:11.1f} {peak:8.1f} {end_threads:8d}")
    if rc != 0:
        failures.append(f"window: exit status {rc}: {stderr[-500:]}")
    check_destination(dest, good, bad, failures)
    if watch_growth and late > quarter * 1.5 + 16:
        failures.append(f"window: memory grew from {quarter:.1f} MB to {late:.1f} MB")

    if not args.keep:
        shutil.rmtree(root, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
