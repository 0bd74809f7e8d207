#!/usr/bin/env bash
# tests/package_test.sh BUILD: makes the Debian package of the build folder BUILD with cpack,
# unpacks it with dpkg-deb -x into a sandboxed host (sandbox/), and runs the unpacked
# program from there: nothing is installed on this machine. Two offered-kext runs that reach
# the prompt show that the program finds, relative to its own folder,
#   - its translations: with LANGUAGE=de and no display, the prompt asks on a tmux pane in
#     German; Escape ends the run with 255, nothing installed;
#   - its window module: with a private Xvfb, the window appears (were the module not found,
#     the run would have neither a window nor a terminal and end with 255).
# Status 77: this machine lacks what the test needs, or does not let us enter the sandbox; the
# reason is on standard error.
set -euo pipefail
build=$(cd "$1" && pwd)
sandbox=$(cd "$(dirname "$0")/../sandbox" && pwd)
skip() {
  echo "package_test: skipped: $*" >&2
  exit 77
}
fail() {
  echo "package_test: $*" >&2
  exit 1
}
for tool in cpack dpkg-deb tmux Xvfb xdotool setsid; do
  command -v "$tool" >/dev/null || skip "this machine has no $tool"
done

scratch=$(mktemp -d)
tmux=(tmux -S "$scratch/tmux" -f /dev/null)
server="" run=""
cleanup() {
  "${tmux[@]}" kill-server 2>/dev/null || true
  for process in $run $server; do
    kill "$process" 2>/dev/null || true
  done
  rm -rf -- "$scratch"
}
trap cleanup EXIT

# waitFor SECONDS COMMAND...: true once COMMAND succeeds, false after SECONDS of trying.
waitFor() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" 2>/dev/null; do
    ((SECONDS < deadline)) || return 1
    sleep 0.05
  done
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/package" >/dev/null ||
  fail "cpack could not make the package"
packages=("$scratch"/package/*.deb)
root=$scratch/root
"$sandbox/make-sandbox" "$root" --kext /Users/Shared/A.kext com.example.a 1.0
mkdir -p "$root/opt"
dpkg-deb -x "${packages[0]}" "$root/opt/unpacked"
reason=$("$sandbox/run-in-sandbox" "$root" --check 2>&1) || skip "$reason"
# bin/Morvane under the build's own prefix (/usr, /usr/local...).
program=/$(cd "$root" && find opt/unpacked -path '*/bin/Morvane' -type f | head -1)

# The translations: the prompt on a terminal, in German.
"${tmux[@]}" new-session -d -x 100 -y 24 bash -c \
  'LANGUAGE=de "$@"; echo $? >"'"$scratch/status"'"; sleep 60' run \
  "$sandbox/run-in-sandbox" "$root" --program "$program" -- /Users/Shared/A.kext
screen() { "${tmux[@]}" capture-pane -p; }
shows() { screen | grep -q "$1"; }
waitFor 30 shows "Später neu starten" ||
  fail "no German prompt on the terminal; the screen: $(screen)"
"${tmux[@]}" send-keys Escape
waitFor 30 test -s "$scratch/status" || fail "the run did not end on Escape"
[[ $(<"$scratch/status") == 255 ]] || fail "Escape ended the run with $(<"$scratch/status")"

# The window module: the window on a private X server, then the run is ended.
exec {ready}<> <(:)
Xvfb -displayfd "$ready" -screen 0 1024x768x24 -nolisten tcp 2>/dev/null &
server=$!
read -r -t 30 number <&"$ready" || fail "Xvfb did not start"
setsid "$sandbox/run-in-sandbox" "$root" --program "$program" --display ":$number" \
  -- -t "Unpacked Morvane" /Users/Shared/A.kext </dev/null >"$scratch/window.txt" 2>&1 &
run=$!
waitFor 30 env DISPLAY=":$number" xdotool search --onlyvisible --name "^Unpacked Morvane$" ||
  fail "no window; the run wrote: $(cat "$scratch/window.txt")"
echo "package_test: $(basename "${packages[0]}") unpacked runs in German and shows its window"
