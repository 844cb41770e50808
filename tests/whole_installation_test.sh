#!/usr/bin/env bash
# The whole-installation test: a fresh Wine prefix of its own, the installer
# clicked through a complete installation with every observation checked,
# then a second run (reinstall reminder) and a newer package (main page).
# Needs the installer's built-in port 18480 free (run it in a network
# namespace of its own where others share the machine) and a display.
#   whole_installation_test.sh <windows build folder>
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: whole_installation_test.sh <windows build folder>}" && pwd)
work=$build/whole_installation
export WINEPREFIX=$work/prefix PELMAR_BIN=$build/bin PELMAR_SHOTS=$work/screenshots
: "${DISPLAY:?a display is needed (./x test starts one)}"

if curl -s -o /dev/null --max-time 2 "http://127.0.0.1:18480/__health"; then
  echo "port 18480 is in use by another maker backend: run this test in a network namespace of its own"
  exit 1
fi

stop_prefix() { "$root/scripts/wine" --server -k >/dev/null 2>&1 || true; }
trap stop_prefix EXIT
stop_prefix
rm -rf "$work"
mkdir -p "$work"
"$root/scripts/setup.sh" prefix
/usr/bin/python3 -B "$root/tests/whole_installation.py" test
