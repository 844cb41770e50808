#!/usr/bin/env bash
# Size benchmark: the shipped 32-bit install.exe and the SDK modules it
# carries, each part (sections, resources) in bytes, against the smallest
# program on the same toolchain and runtime (bench/size_reference_win.cpp),
# built in the same run.
#
# Environment: PELMAR_BENCH_PRODUCT_BIN (default build/windows/bin: the
# product's own build, whichever build runs the other Windows benches).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${PELMAR_BENCH_PRODUCT_BIN:-$root/build/windows/bin}
for f in install.exe Vek.dll Vek.exe TaskAsUser.dll size_reference.exe; do
  [ -f "$bin/$f" ] || { echo "size_bench: no $bin/$f (build the windows preset)" >&2; exit 1; }
done

# The installer beside the reference, then the SDK modules it carries zipped
# (each its own program on the same runtime) beside the reference again.
/usr/bin/python3 -B "$root/bench/pe_sizes.py" --table "$bin/install.exe" "$bin/size_reference.exe" &&
  echo &&
  /usr/bin/python3 -B "$root/bench/pe_sizes.py" --table "$bin/Vek.dll" "$bin/Vek.exe" \
    "$bin/TaskAsUser.dll" "$bin/size_reference.exe" || exit 1
product=$(stat -c %s "$bin/install.exe")
reference=$(stat -c %s "$bin/size_reference.exe")
/usr/bin/python3 -c 'import sys; p, r = map(int, sys.argv[1:])
print(f"install.exe {p:,} bytes ({p / 1048576:.2f} MiB, target at most 1.50 MiB); the reference {r:,} bytes; {p / r:.1f}x")' \
  "$product" "$reference"
