#!/usr/bin/env bash
# Runs the installer in Wine on $DISPLAY (./x run sets up Wine and the
# display), takes a screenshot into build/run/ when the display is an Xvfb,
# and ends the installer the way a user would: its window is closed, the
# quit sequence runs and the process exits 0.
#   PELMAR_RUN_SECONDS  how long the installer stays up (default 4)
#   PELMAR_BIN          folder of install.exe (default build/windows/bin)
#   PELMAR_TIMEOUT_SCALE  stretches every wait (Wine under qemu emulation)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
wine=$root/scripts/wine
scale=${PELMAR_TIMEOUT_SCALE:-1}
bin=${PELMAR_BIN:-$root/build/windows/bin}  # another build folder for trials
out=$root/build/run
seconds=${PELMAR_RUN_SECONDS:-4}
mkdir -p "$out"

say() { printf '[run] %s\n' "$*"; }

[ -x "$bin/install.exe" ] || { say "no $bin/install.exe: build the windows preset first"; exit 1; }
: "${DISPLAY:?a display is needed}"

on_xvfb() { ps -eo args= | grep -Eq "^Xvfb ${DISPLAY}( |$)"; }

say "starting install.exe on $DISPLAY"
"$wine" "$bin/install.exe" &
installer=$!
stop_installer() { kill "$installer" 2>/dev/null || true; }
trap stop_installer EXIT

if ! "$wine" "$bin/installer_remote.exe" wait $((60 * scale)); then
  say "the installer showed no window"
  exit 1
fi
say "run cache: $("$wine" "$bin/installer_remote.exe" cache | tr -d '\r' | tr '\n' ' ')"
sleep "$seconds"

if on_xvfb; then
  shot=$out/installer-$(date +%Y%m%d-%H%M%S).png
  import -display "$DISPLAY" -window root "$shot"
  say "screenshot: $shot"
fi

say "closing the installer"
if ! "$wine" "$bin/installer_remote.exe" close $((30 * scale)); then
  say "the installer did not close"
  exit 1
fi
code=0
wait "$installer" || code=$?
trap - EXIT
say "install.exe exited with code $code"
[ "$code" -eq 0 ]
