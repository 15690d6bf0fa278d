#!/usr/bin/env bash
# Checksums of every output of a fixed set of runs, for proving that a change to the code keeps
# every written byte: all output formats, all filters, the size modes, crop, copy mode, over the
# shared sample images and the benchmark corpus. Run it before and after; the two lists must match.
# Usage: tools/output-checksums.sh CLI OUT_LIST [SOURCE_DIR...]
set -euo pipefail
cli=$(realpath "$1"); list=$2; shift 2
sources=("$@")
if [ ${#sources[@]} -eq 0 ]; then
  here=$(cd "$(dirname "$0")/.." && pwd)
  # The corpus's JPEG and PNG folders only: its HEIC copies of the JPEGs would take the same
  # output names, and which of two runs gets the plain name is a matter of timing.
  sources=("$here/../shared/testimages" "$here/bench/corpus/jpeg" "$here/bench/corpus/png")
fi
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
run() {  # name, options...
  local name=$1; shift
  mkdir -p "$work/$name"
  "$cli" -q -d "$work/$name" "$@" "${sources[@]}" >/dev/null 2>&1 || true
}
for format in source jpg png gif emf bmp jp2; do run "format-$format" -f "$format" -s 160; done
for filter in none box triangle hermite bell bspline lanczos3 mitchell; do
  run "filter-$filter" -f png -F "$filter" -s 97
done
run mode-width -m width -s 333 -f jpg
run mode-height -m height -s 75 -f png -F mitchell
run percent -p 37 -f bmp -F triangle
run crop -f jpg --crop-16x9 -s 250
run default-none --default-format none -s 120
run copy --copy
(cd "$work" && find . -type f -print0 | sort -z | xargs -0 sha256sum) > "$list"
echo "$(wc -l < "$list") outputs, list digest $(sha256sum < "$list" | cut -c1-16)"
