#!/usr/bin/env bash
# bench/filter_bench.sh [--binary FILE] [--repeat R] [SIZES...]
# The launch filter over many offered kexts, run by the built Morvane (build/Morvane, or FILE)
# in the sandboxed host (sandbox/), for each size N (250 500 1000 by default). It prints
# the cost per kext of the program's own work, leaving out the tools it runs, and for
# comparison the cost with the tool.
#
# Method. For each size, N kexts are installed in version 1.0 and N kexts of the same names
# and version are offered, so the filter does all of its work for each: reads both versions,
# compares them, reads the bundle identifier and asks whether that kext is loaded. Two runs
# are measured by the processor time of the whole run (see timeBest), the first the best of 4R,
# the second the best of R (R is 3 by default):
#   own work      in a sandbox without /usr/sbin/kextstat. The question about the loaded kext
#                 is still asked, but the tool cannot be started (it is not there), so no
#                 process starts and no time goes to a tool: everything measured is the
#                 program's own. Every kext is kept, the run reaches the prompt, which cannot
#                 be shown in the sandbox (no display, no terminal) and ends the run at once.
#   with kextstat in a sandbox where every kext is loaded: one kextstat per kext, every kext
#                 is dropped and the run ends with status 1 before any window. For comparison
#                 only: it includes the stand-in's own cost, which grows with N since it scans
#                 the list of loaded kexts on every call.
# Timing a shell loop of the same kextstat calls and subtracting it does not work: a shell
# starts a tool much more slowly than the program's spawn does, and the difference is larger
# than the program's own work. Fixed costs (entering the sandbox, starting the process, the
# end at the prompt) are taken out by also timing N = 1: the cost per kext is
# (t(N) - t(1)) / (N - 1); "step" is the cost per kext added since the previous size. The cost
# grows linearly when these stay flat as N doubles. Nothing here is a test: the numbers depend on the machine and are only printed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sandbox=$here/../sandbox
binary=$here/../build/Morvane
repeat=3
sizes=()
while (($#)); do
  case $1 in
    --binary) binary=${2:?--binary needs a file}; shift 2 ;;
    --repeat) repeat=${2:?--repeat needs a count}; shift 2 ;;
    *) sizes+=("$1"); shift ;;
  esac
done
((${#sizes[@]})) || sizes=(250 500 1000)
[[ -x $binary ]] || { echo "filter_bench: no executable at $binary (bash scripts/build)" >&2 && exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT

# Sets `best` to the least processor time (user and system, of the whole run with every
# process it starts) of RUNS runs of COMMAND, in microseconds, and `status` to the exit status
# of the last one. Processor time rather than elapsed time: other work on the machine
# disturbs it much less.
timeBest() {
  local runs=$1 run used user system TIMEFORMAT='%3U %3S'
  shift
  best=""
  for ((run = 0; run < runs; run++)); do
    # The command's status is lost with the subshell that collects the time, so it goes
    # through a file.
    used=$({ time {
      status=0
      "$@" >/dev/null 2>&1 || status=$?
      echo "$status" >"$scratch/status"
    }; } 2>&1)
    status=$(<"$scratch/status")
    read -r user system <<<"$used"
    used=$((10#${user/./} + 10#${system/./}))
    if [[ -z $best ]] || ((used < best)); then
      best=$used
    fi
  done
  best=$((best * 1000))
}

# Makes a sandbox at ROOT with COUNT kexts installed and offered, and sandbox OPTIONS.
makeHost() {
  local root=$1 count=$2 i kexts=()
  shift 2
  for ((i = 1; i <= count; i++)); do
    kexts+=(--kext "/System/Library/Extensions/K$i.kext" "com.quorix.bench.k$i" 1.0
      --kext "/Users/Shared/Offered/K$i.kext" "com.quorix.bench.k$i" 1.0)
  done
  "$sandbox/make-sandbox" "$root" "${kexts[@]}" "$@"
}

# Sets `ownWork` and `withKextstat` for COUNT kexts, in microseconds.
measure() {
  local count=$1 root=$scratch/host offered=() loaded=() i
  for ((i = 1; i <= count; i++)); do
    offered+=("/Users/Shared/Offered/K$i.kext")
    loaded+=(--loaded "com.quorix.bench.k$i" 1.0)
  done

  makeHost "$root" "$count" --without /usr/sbin/kextstat "${loaded[@]}"
  timeBest $((4 * repeat)) "$sandbox/run-in-sandbox" "$root" --binary "$binary" -- "${offered[@]}"
  ownWork=$best
  if ((status == 1)) || [[ -s $root/var/sandbox/journal ]]; then
    echo "filter_bench: without kextstat a kext was dropped or a tool ran (status $status)" >&2
    exit 1
  fi
  rm -rf -- "$root"

  makeHost "$root" "$count" "${loaded[@]}"
  timeBest "$repeat" "$sandbox/run-in-sandbox" "$root" --binary "$binary" -- "${offered[@]}"
  withKextstat=$best
  if ((status != 1)); then
    echo "filter_bench: the filter did not drop every loaded kext (status $status)" >&2
    exit 1
  fi
  rm -rf -- "$root"
}

milliseconds() {
  local sign="" value=$1
  if ((value < 0)); then
    sign=- value=$((-value))
  fi
  printf '%s%d.%d' "$sign" $((value / 1000)) $((value % 1000 / 100))
}

measure 1
baseOwn=$ownWork
baseWith=$withKextstat
printf 'Processor time, best of %d and %d runs, in ms; costs per kext in microseconds.\n' \
  $((4 * repeat)) "$repeat"
printf 'N = 1: own work %s, with kextstat %s\n\n' "$(milliseconds "$ownWork")" \
  "$(milliseconds "$withKextstat")"
printf '%6s | %10s %9s %6s | %14s %9s\n' kexts "own work" "per kext" step "with kextstat" \
  "per kext"
previousCount=1
previousOwn=$baseOwn
for count in "${sizes[@]}"; do
  measure "$count"
  printf '%6d | %10s %9d %6d | %14s %9d\n' "$count" "$(milliseconds "$ownWork")" \
    $(((ownWork - baseOwn) / (count - 1))) \
    $(((ownWork - previousOwn) / (count - previousCount))) \
    "$(milliseconds "$withKextstat")" $(((withKextstat - baseWith) / (count - 1)))
  previousCount=$count
  previousOwn=$ownWork
done
