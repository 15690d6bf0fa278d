#!/usr/bin/env python3
"""Each library target reaches only its own headers and those of the layers below it: a header of
a higher layer (or of a sibling target) must not be found from a lower one, and the layer's own
headers must be. Usage: check_layering.py CXX BUILD_DIR"""
import subprocess
import sys
import tempfile

cxx, build = sys.argv[1], sys.argv[2]

# The include roots a target compiles with: its own and those of everything it links.
ROOTS = {
    "base": ["tessane_base"],
    "pixels": ["tessane_pixels", "tessane_base"],
    "raster": ["tessane_raster", "tessane_pixels", "tessane_base"],
    "formats": ["tessane_formats", "tessane_pixels", "tessane_base"],
    "metafile": ["tessane_metafile", "tessane_formats", "tessane_pixels", "tessane_base"],
}

# (layer, header, found)
CASES = [
    ("base", "base/errors.h", True),
    ("base", "pixels/argb_image.h", False),
    ("pixels", "pixels/argb_image.h", True),
    ("pixels", "raster/stretch.h", False),
    ("pixels", "formats/graphic.h", False),
    ("raster", "raster/stretch.h", True),
    ("raster", "formats/graphic.h", False),
    ("formats", "formats/png/png_graphic.h", True),
    ("formats", "raster/stretch.h", False),
    ("formats", "formats/metafile/metafile_graphic.h", False),
    ("formats", "formats/picture.h", False),
    ("formats", "jobs/resize_job.h", False),
    ("metafile", "formats/metafile/metafile_graphic.h", True),
    ("metafile", "formats/format_registry.h", False),
]

failures = 0
for layer, header, found in CASES:
    with tempfile.NamedTemporaryFile("w", suffix=".cpp") as probe:
        probe.write(f'#include "{header}"\n')
        probe.flush()
        flags = [f"-I{build}/include/{t}" for t in ROOTS[layer]] + [f"-I{build}/generated"]
        result = subprocess.run([cxx, "-std=c++20", "-fsyntax-only", *flags, probe.name],
                                capture_output=True, text=True)
    missing = "No such file or directory" in result.stderr
    if missing == found or (found and result.returncode != 0):
        failures += 1
        print(f"{layer}: {header} {'not found' if missing else 'found'}\n{result.stderr}")
print(f"{len(CASES) - failures} of {len(CASES)} include cases as the layering wants")
sys.exit(1 if failures else 0)
