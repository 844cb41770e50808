#!/usr/bin/env bash
# Runs every benchmark script (bench/*_bench.sh); each prints its own figures
# side by side with its reference. ./x bench has built the presets and set up Wine.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
status=0
for script in "$here"/*_bench.sh; do
  [ -e "$script" ] || continue
  [ -n "${1:-}" ] && [[ "$(basename "$script")" != *"$1"* ]] && continue
  echo "== $(basename "$script")"
  bash "$script" || status=1
done
exit $status
