#!/usr/bin/env bash
# Runs every fuzz target of BUILD_DIR for SECONDS each, one after the other, from the repository
# root. Seed corpora are made from tests/data (the fixtures and the public samples in
# tests/data/samples) by file extension, plus the hand-made seeds in fuzz/seeds/<target>/; they
# are written into BUILD_DIR/fuzz-corpus (never into the source tree). One line per target is printed:
#   <target> <executions> execs <findings> findings
# Findings (crash-*, leak-*, timeout-*, oom-* files) are kept in BUILD_DIR/fuzz-findings/<target>/.
# The exit status is non-zero when any target has a finding.
# Usage: fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
set -uo pipefail

if [[ $# -lt 2 ]]; then
  echo "usage: $0 BUILD_DIR SECONDS [TARGET...]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd) || exit 2
cd "$(dirname "$0")/.."
seconds=$2
shift 2
data=tests/data
corpus_root=$build_dir/fuzz-corpus
findings_root=$build_dir/fuzz-findings
logs=$build_dir/fuzz-logs
mkdir -p "$corpus_root" "$findings_root" "$logs"

# File extensions that seed each reader target (lower case; matched in any letter case).
declare -A extensions=(
  [bmp_fuzz]="bmp dib rle"
  [icon_fuzz]="ico"
  [jpeg_fuzz]="jpg jpeg jpe jfif"
  [targa_fuzz]="tga win vst vda icb"
  [tiff_fuzz]="tif tiff fax"
  [eps_fuzz]="eps"
  [pcx_fuzz]="pcx pcc scr"
  [rla_fuzz]="rla rpf"
  [sgi_fuzz]="sgi rgb rgba bw"
  [psd_fuzz]="psd pdd"
  [ppm_fuzz]="ppm pgm pbm pam"
  [autodesk_fuzz]="cel pic"
  [pcd_fuzz]="pcd"
  [cut_fuzz]="cut"
  [psp_fuzz]="psp"
  [gif_fuzz]="gif"
  [png_fuzz]="png"
  [png_rows_fuzz]="png"
  [jpeg2000_fuzz]="jp2 j2k jpc"
  [metafile_fuzz]="wmf emf"
  [icc_profile_fuzz]="png tif tiff icc"
  [heif_fuzz]="heic heif hif"
  [avif_fuzz]="avif"
  [webp_fuzz]="webp"
  [jxl_fuzz]="jxl"
)

# Copies the seed files of one target into its corpus folder (files over 256 KB only slow the
# fuzzer down, except for Photo-CD whose smallest picture lies about 1 MB into the file; the
# reference decodes of the samples are left out).
make_corpus() {
  local target=$1 dir=$2 ext size=-256k
  [[ $target == pcd_fuzz ]] && size=-8M
  mkdir -p "$dir"
  for ext in ${extensions[$target]:-}; do
    find "$data" -path "$data/samples/reference" -prune -o -type f -iname "*.$ext" \
      -size "$size" -print0 | xargs -0 -r cp -f -t "$dir/"
  done
  if [[ -d fuzz/seeds/${target%_fuzz} ]]; then
    cp -f fuzz/seeds/"${target%_fuzz}"/* "$dir/" 2>/dev/null
  fi
  return 0
}

# Slow-unit reports are not findings; a unit that takes longer than -timeout is.
count_findings() {
  find "$1" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) |
    wc -l
}

if [[ $# -gt 0 ]]; then
  targets=("$@")
else
  mapfile -t targets < <(find "$build_dir/fuzz/" -maxdepth 1 -type f -name '*_fuzz' -perm -u+x \
    -printf '%f\n' | sort)
fi
if [[ ${#targets[@]} -eq 0 ]]; then
  echo "no fuzz targets in $build_dir/fuzz" >&2
  exit 2
fi

status=0
for target in "${targets[@]}"; do
  binary=$build_dir/fuzz/$target
  corpus=$corpus_root/${target%_fuzz}
  found=$findings_root/$target
  make_corpus "$target" "$corpus"
  mkdir -p "$found"
  before=$(count_findings "$found")
  log=$logs/$target.log
  # The memory caps keep a picture the limits allow (up to 2^28 pixels) loadable while a reader
  # that allocates beyond them is reported: TIFF's RGBA path holds libtiff's raster beside the
  # picture (2 GB at 2^28 pixels), with ASan's quarantine on top. ASan's own leak check runs at
  # exit. The timeout is generous because the fuzzers run at the lowest priority beside other work.
  ASAN_OPTIONS=allocator_may_return_null=0:detect_leaks=1 \
    LSAN_OPTIONS=suppressions="$PWD/fuzz/lsan.supp" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    nice -n 19 "$binary" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 \
    -malloc_limit_mb=2200 -print_final_stats=1 -artifact_prefix="$found/" "$corpus" \
    >"$log" 2>&1
  rc=$?
  after=$(count_findings "$found")
  findings=$((after - before))
  if [[ $rc -ne 0 && $findings -eq 0 ]]; then findings=1; fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  [[ -n $execs ]] || execs=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#')
  printf '%-26s %10s execs %3d findings\n' "$target" "${execs:-0}" "$findings"
  if [[ $findings -ne 0 ]]; then
    status=1
    echo "  see $log and $found" >&2
  fi
done
exit $status
