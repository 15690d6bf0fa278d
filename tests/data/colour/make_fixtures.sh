#!/usr/bin/env bash
# Makes the colour fixtures: two profiles made with Little CMS (make_profiles.c) and small
# ramps tagged with them by ImageMagick (JPEG, PNG, TIFF; a YCCK JPEG) and Pillow (a CMYK JPEG
# stored inverted, as Adobe writes them). Run from this folder; needs liblcms2-dev, imagemagick
# and python3-pil.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cc make_profiles.c -o "$tmp/make_profiles" -llcms2 -lm
"$tmp/make_profiles"
# Saturated colours, where Display P3 and sRGB differ most.
convert -size 48x16 gradient:'#e03010'-'#10a0f0' -depth 8 "$tmp/ramp.png"
for ext in jpg png tif; do
  convert "$tmp/ramp.png" -profile display_p3.icc -quality 95 "p3_ramp.$ext"
done
convert "$tmp/ramp.png" -colorspace CMYK -profile test_cmyk.icc -quality 95 cmyk_ycck_profile.jpg
/usr/bin/python3 - "$tmp/ramp.png" <<'PY'
import sys
from PIL import Image
icc = open("test_cmyk.icc", "rb").read()
Image.open(sys.argv[1]).convert("CMYK").save("cmyk_adobe_profile.jpg", quality=95, icc_profile=icc)
PY
