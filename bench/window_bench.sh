#!/usr/bin/env bash
# bench/window_bench.sh [RUNS]: how fast the prompt's window comes up. On a private Xvfb, the
# time from start to the window mapped, for Morvane (with -f and an empty kext folder in a
# temporary folder, so the prompt shows and nothing else happens) against `zenity --question`
# showing a window of the same size, interleaved RUNS times (20). Prints each median and their
# ratio; the aim is at most 0.6. Both programs are ended with SIGTERM once their window is
# mapped: nothing is ever answered.
set -euo pipefail
cd "$(dirname "$0")/.."
# With MORVANE_BENCH_BUILD naming a build folder made with MORVANE_BENCHMARKS=ON (bench/run-all
# makes one), its programs are used as they are; otherwise build/ is built here.
runs=${1:-20}
if [[ -n ${MORVANE_BENCH_BUILD-} ]]; then
  build=$(cd "$MORVANE_BENCH_BUILD" && pwd) timer=$build/bench/map_timer
else
  bash scripts/build build >/dev/null
  g++ -std=c++20 -O2 -Wall -Wextra -o build/map_timer bench/map_timer.cpp -lX11
  build=$PWD/build timer=$build/map_timer
fi

scratch=$(mktemp -d)
server=
cleanup() {
  [[ -z $server ]] || kill "$server" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
mkdir "$scratch/Bench.kext"
exec {ready}<> <(:)
Xvfb -displayfd "$ready" -screen 0 1024x768x24 -nolisten tcp 2>/dev/null &
server=$!
read -r -t 10 number <&"$ready"
export DISPLAY=:$number

"$timer" "$runs" "$build/Morvane" -f "$scratch/Bench.kext" -- \
  zenity --question --title Morvane --text "The installation is completed." --width 420 --height 150
