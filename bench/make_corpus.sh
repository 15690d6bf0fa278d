#!/usr/bin/env bash
# Builds the benchmark corpus: about 30 real photographs of 8 to 12 megapixels as JPEGs, plus a
# few large PNGs, all from Debian's wallpaper packages (downloaded, unpacked, never installed),
# and the same photographs as HEIC files (heif-enc, as phones write them: quality 80, no
# embedded thumbnail).
# Usage: bench/make_corpus.sh DIR   (idempotent: an existing corpus is kept)
set -euo pipefail
dir=${1:-bench/corpus}

# The HEIC copies of the JPEGs, made once (also for a corpus built before they were part of it).
make_heic() {
  [ -f "$dir/heic/.complete" ] && return 0
  mkdir -p "$dir/heic"
  local f out
  for f in "$dir"/jpeg/*.jpg; do
    out="$dir/heic/$(basename "${f%.jpg}").heic"
    [ -e "$out" ] || heif-enc -q 80 -o "$out" "$f" >/dev/null
  done
  touch "$dir/heic/.complete"
  echo "corpus: $(ls "$dir/heic" | wc -l) HEICs in $dir/heic"
}

if [ -f "$dir/.complete" ]; then
  make_heic
  exit 0
fi
cache=${TESSANE_CORPUS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessane-corpus}
mkdir -p "$dir/jpeg" "$dir/png" "$cache"
packages="plasma-workspace-wallpapers ukui-wallpapers gnome-backgrounds mate-backgrounds desktop-base"
for p in $packages; do
  if ! ls "$cache/$p"_*.deb >/dev/null 2>&1; then
    ( cd "$cache" && apt-get download "$p" >/dev/null 2>&1 ) || echo "corpus: cannot download $p" >&2
  fi
done
if [ ! -d "$cache/x" ]; then
  for deb in "$cache"/*.deb; do dpkg-deb -x "$deb" "$cache/x"; done
fi
want=30
n=0
# A name from the path: the wallpaper's folder and file, without the share prefix.
name_of() {
  echo "$1" | sed -E 's#^.*/usr/share/##; s#/contents/images(_dark)?/#\1_#; s#[/ ]+#_#g; s#\.[^.]*$##'
}
# Real JPEG photographs first: 8 to 12.5 megapixels as they are, larger ones (5K wallpapers)
# reduced to a 4096-pixel longer side; then photographic PNG wallpapers converted the same way.
take() {  # path width height
  local f=$1 w=$2 h=$3 out
  out="$dir/jpeg/$(name_of "$f").jpg"
  [ -e "$out" ] && return 0
  if [ $((w * h)) -le 12500000 ] && [[ $f == *.jp*g ]]; then
    cp "$f" "$out"
  else
    convert "$f" -resize '4096x4096>' -quality 92 -sampling-factor 2x2 "$out"
  fi
  n=$((n + 1))
}
while read -r w h f; do
  [ $n -ge $want ] && break
  [ $((w * h)) -ge 8000000 ] && take "$f" "$w" "$h"
done < <(find "$cache/x" -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -print0 | sort -z |
  xargs -0 identify -format '%w %h %i\n' 2>/dev/null)
while read -r w h f; do
  [ $n -ge $want ] && break
  [ $((w * h)) -ge 8000000 ] && take "$f" "$w" "$h"
done < <(find "$cache/x" -type f -iname '*.png' -print0 | sort -z |
  xargs -0 identify -format '%w %h %i\n' 2>/dev/null)
# A few large PNGs as they are.
for f in $(find "$cache/x" -name '3840x2160.png' -path '*/images/*' | sort | head -4); do
  cp "$f" "$dir/png/$(name_of "$f").png"
done
touch "$dir/.complete"
echo "corpus: $n JPEGs, $(ls "$dir/png" | wc -l) PNGs in $dir"
make_heic
