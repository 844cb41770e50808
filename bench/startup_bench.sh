#!/usr/bin/env bash
# Start-up benchmark, under Wine on an X display: the time from starting
# install.exe to the main page's first paint and its peak working set on that
# page, against a minimal Win32 program that opens one empty window (same
# Wine, same display, same run), as medians and their ratio / difference.
# Start install.exe's backend yourself if the run should include the server
# records (the main page does not wait for them); run it in a network
# namespace of your own when the default port is shared.
#
# Environment: PELMAR_BENCH_WINDOWS_BIN (default build/windows/bin),
# STARTUP_BENCH_REPS (5).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${PELMAR_BENCH_WINDOWS_BIN:-$root/build/windows/bin}
reps=${STARTUP_BENCH_REPS:-5}
wine=$root/scripts/wine

for f in startup_bench.exe install.exe; do
  [ -f "$bin/$f" ] || { echo "startup_bench: no $bin/$f (build the windows preset)" >&2; exit 1; }
done

xvfb=
if [ -z "${DISPLAY:-}" ]; then
  n=90
  while [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi
cleanup() {
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
  fi
}
trap cleanup EXIT

"$wine" "$bin/startup_bench.exe" "$bin/install.exe" "$reps" | tr -d '\r'
