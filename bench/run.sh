#!/usr/bin/env bash
# make bench: the micro-benchmarks, then the side-by-side comparison on the photo corpus.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
if [ -x "$build/bench/tessane_bench" ]; then
  "$build/bench/tessane_bench" --benchmark_min_time=0.2
fi
bash bench/make_corpus.sh bench/corpus
/usr/bin/python3 bench/compare.py "$build" bench/corpus
