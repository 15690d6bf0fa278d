#!/usr/bin/env bash
# Builds the benchmark corpus: large real photographs from Debian's wallpaper packages.
# Usage: bench/make_corpus.sh DIR   (idempotent: an existing corpus is kept)
set -euo pipefail
dir=${1:-bench/corpus}
if [ -f "$dir/.complete" ]; then exit 0; fi
mkdir -p "$dir/jpeg" "$dir/png"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
( cd "$work" && apt-get download plasma-workspace-wallpapers >/dev/null 2>&1 )
dpkg-deb -x "$work"/plasma-workspace-wallpapers_*.deb "$work/x"
n=0
# Every JPEG of 6 megapixels or more, named after its wallpaper.
while IFS= read -r f; do
  size=$(basename "$f" .jpg)
  w=${size%x*}; h=${size#*x}
  if [ $((w * h)) -ge 6000000 ]; then
    name=$(echo "$f" | sed -E 's#.*/wallpapers/([^/]+)/contents/([^/]+)/.*#\1_\2#')
    cp "$f" "$dir/jpeg/${name}_${size}.jpg"
    n=$((n + 1))
  fi
done < <(find "$work/x" -regextype posix-extended -regex '.*/[0-9]+x[0-9]+\.jpg' | sort)
# A few large PNGs.
for f in $(find "$work/x" -name '3840x2160.png' | sort | head -4); do
  name=$(echo "$f" | sed -E 's#.*/wallpapers/([^/]+)/contents/([^/]+)/.*#\1_\2#')
  cp "$f" "$dir/png/${name}_3840x2160.png"
done
touch "$dir/.complete"
echo "corpus: $n JPEGs, $(ls "$dir/png" | wc -l) PNGs in $dir"
