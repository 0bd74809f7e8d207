#!/usr/bin/env bash
# bench/launch_bench.sh [RUNS]: how fast a run that ends at launch is. Morvane with no
# arguments (usage text, status 255) against /bin/true, interleaved RUNS times (400), from
# spawn to reaped; prints each median and their ratio. The aim is within 3x of /bin/true:
# nothing that only the prompt needs is linked or set up at start-up.
set -euo pipefail
cd "$(dirname "$0")/.."
# With MORVANE_BENCH_BUILD naming a build folder made with MORVANE_BENCHMARKS=ON (bench/run-all
# makes one), its programs are used as they are; otherwise build/ is built here.
runs=${1:-400}
if [[ -n ${MORVANE_BENCH_BUILD-} ]]; then
  build=$(cd "$MORVANE_BENCH_BUILD" && pwd) timer=$build/bench/spawn_timer
else
  bash scripts/build build >/dev/null
  g++ -std=c++20 -O2 -Wall -Wextra -o build/spawn_timer bench/spawn_timer.cpp
  build=$PWD/build timer=$build/spawn_timer
fi
"$timer" "$runs" "$build/Morvane" /bin/true
