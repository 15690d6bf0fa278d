#!/usr/bin/env bash
# make bench: the micro-benchmarks, then the side-by-side comparison on the photo corpus.
# Usage: bench/run.sh [BUILD_DIR [REPEATS]]
set -euo pipefail
build=${1:-build}
repeats=${2:-3}
cd "$(dirname "$0")/.."
echo "$(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); load: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ -x "$build/bench/tessane_bench" ]; then
  "$build/bench/tessane_bench" --benchmark_min_time=0.1
fi
bash bench/make_corpus.sh bench/corpus
/usr/bin/python3 bench/compare.py "$build" bench/corpus "$repeats"
