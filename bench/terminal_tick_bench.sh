#!/usr/bin/env bash
# bench/terminal_tick_bench.sh [TICKS]: how many bytes one tick of the countdown writes to the
# terminal. Morvane runs with -i in the sandboxed host on an 80 by 24 tmux pane whose output is
# copied to a file; the bytes between the first tick and TICKS (5) ticks later, divided by
# TICKS, are what a tick costs. The aim is under 200: a tick rewrites only the countdown line.
set -euo pipefail
cd "$(dirname "$0")/.."
# With MORVANE_BENCH_BUILD naming a build folder made with MORVANE_BENCHMARKS=ON (bench/run-all
# makes one), its programs are used as they are; otherwise build/ is built here.
ticks=${1:-5}
build=${MORVANE_BENCH_BUILD:-build}
[[ -n ${MORVANE_BENCH_BUILD-} ]] || bash scripts/build build >/dev/null
scratch=$(mktemp -d)
tmux=(tmux -S "$scratch/tmux" -f /dev/null)
trap '"${tmux[@]}" kill-server 2>/dev/null || true; rm -rf -- "$scratch"' EXIT
sandbox/make-sandbox "$scratch/root" --kext /Users/Shared/A.kext com.example.a 1.0
"${tmux[@]}" new-session -d -x 80 -y 24 sandbox/run-in-sandbox "$scratch/root" \
  --binary "$build/Morvane" -- -i /Users/Shared/A.kext
"${tmux[@]}" pipe-pane -o "cat >$scratch/wire"

# Waits until the countdown shows COUNT, then prints the bytes written so far.
bytesAt() {
  until "${tmux[@]}" capture-pane -p | grep -q "closed in $1 seconds"; do
    sleep 0.02
  done
  stat -c %s "$scratch/wire"
}
first=$(bytesAt 59)
last=$(bytesAt $((59 - ticks)))
echo "bytes per tick: $(((last - first) / ticks)) ($((last - first)) bytes over $ticks ticks)"
