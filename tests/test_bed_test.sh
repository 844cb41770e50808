#!/usr/bin/env bash
# The test bed's own behaviour on hosts with and without 32-bit x86 code:
#  - scripts/run_suites.sh skips the 32-bit Windows suites (never counting
#    them as passed) when the host check says no, runs and counts the x86_64
#    ones on any host, and fails on any failure;
#  - the host check answers "native" here or "none" when forced, and the
#    Windows build chosen follows it;
#  - a Wine prefix that cannot be made stops set-up with one clear line.
# Scratch ctest folders stand in for the real build folders.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# make_suite NAME COMMAND...: a configured ctest folder with one test per command.
make_suite() {
  local name=$1
  shift
  mkdir -p "$work/src/$name"
  {
    echo 'cmake_minimum_required(VERSION 3.20)'
    echo "project($name NONE)"
    echo 'enable_testing()'
    local i=0
    for c in "$@"; do
      echo "add_test(NAME ${name}_$i COMMAND $c)"
      i=$((i + 1))
    done
  } >"$work/src/$name/CMakeLists.txt"
  cmake -S "$work/src/$name" -B "$work/build/$name" >/dev/null || fail "cannot configure $name"
}
make_suite native_ok true true
make_suite native_bad true false
make_suite windows true true true
make_suite x64_ok true true true
make_suite x64_bad true false true

# Each case: forced switch, suites, expected closing line, expected status
# (0 pass, 1 fail), whether skip lines must appear.
cases=(
  "1|native_ok windows|2 passed, 0 failed, 3 skipped|0|yes"
  "1|native_bad windows|1 passed, 1 failed, 3 skipped|1|yes"
  "1|native_ok|2 passed, 0 failed, 0 skipped|0|no"
  "1|native_ok x64_ok|5 passed, 0 failed, 0 skipped|0|no"
  "1|native_ok x64_bad|4 passed, 1 failed, 0 skipped|1|no"
  "0|native_ok x64_bad|4 passed, 1 failed, 0 skipped|1|no"
)
# On a host that runs 32-bit code nothing is skipped unless forced.
if [ "$("$root/scripts/host32")" = native ]; then
  cases+=("0|native_ok windows|5 passed, 0 failed, 0 skipped|0|no")
fi

for c in "${cases[@]}"; do
  IFS='|' read -r forced suites want_line want_status want_skips <<<"$c"
  args=()
  for s in $suites; do
    kind=native
    [ "$s" = windows ] && kind=windows
    [[ "$s" == x64_* ]] && kind=windows-x64
    args+=("$kind:$work/build/$s")
  done
  out=$(PELMAR_FORCE_NO_IA32=$forced "$root/scripts/run_suites.sh" "${args[@]}" 2>&1)
  status=$?
  [ "$status" -ne 0 ] && status=1
  last=$(tail -n 1 <<<"$out")
  [ "$last" = "$want_line" ] || fail "[$c] closing line '$last'"
  [ "$status" = "$want_status" ] || fail "[$c] exit status $status"
  if [ "$want_skips" = yes ]; then
    grep -q "skipping the Windows suite in $work/build/windows: this host runs no 32-bit x86 code" <<<"$out" ||
      fail "[$c] no reason line"
    [ "$(grep -c '^\[x\] skipped: windows_' <<<"$out")" = 3 ] || fail "[$c] not every Windows test listed as skipped"
  else
    grep -q 'skipped:' <<<"$out" && fail "[$c] skipped something"
  fi
done

# The host check: forced answer, and the real answer is one of the three.
[ "$(PELMAR_FORCE_NO_IA32=1 "$root/scripts/host32")" = none ] || fail "forced host check did not answer none"
PELMAR_FORCE_NO_IA32=1 "$root/scripts/host32" >/dev/null && fail "forced host check exited 0"
case "$("$root/scripts/host32")" in native | emulated | none) ;; *) fail "host check gave no known answer" ;; esac

# Set-up says which case it is in, in one line, and carries on when forced.
out=$(PELMAR_FORCE_NO_IA32=1 "$root/scripts/setup.sh" host 2>&1)
[ $? -eq 0 ] || fail "set-up's host check stopped on a host without 32-bit code: $out"
[ "$out" = "[setup] host: runs no 32-bit x86 code (64-bit user code only); the Windows suites run from the x86_64 build under 64-bit Wine" ] ||
  fail "set-up's host line: $out"

# The Windows build follows the host check; each row: forced switch, chosen
# build (PELMAR_WINDOWS_BUILD), suites switch, expected build, expected suites.
native=$([ "$("$root/scripts/host32")" = native ] && echo 1 || echo 0)
build_cases=(
  "1|||windows-x64|windows-x64"
  "1|windows||windows|windows windows-x64"
  "1|windows|one|windows|windows"
  "0|windows-x64||windows-x64|windows-x64"
)
if [ "$native" = 1 ]; then
  build_cases+=("0|||windows|windows windows-x64")
else
  build_cases+=("0|||windows-x64|windows-x64")
fi
for c in "${build_cases[@]}"; do
  IFS='|' read -r forced chosen suites want_build want_suites <<<"$c"
  got=$(PELMAR_FORCE_NO_IA32=$forced PELMAR_WINDOWS_BUILD=$chosen PELMAR_WINDOWS_SUITES=$suites \
    "$root/scripts/windows-build")
  [ "$got" = "$want_build" ] || fail "[$c] build '$got'"
  got=$(PELMAR_FORCE_NO_IA32=$forced PELMAR_WINDOWS_BUILD=$chosen PELMAR_WINDOWS_SUITES=$suites \
    "$root/scripts/windows-build" --suites)
  [ "$got" = "$want_suites" ] || fail "[$c] suites '$got'"
done
why=$(PELMAR_FORCE_NO_IA32=1 "$root/scripts/windows-build" --why)
[ "$why" = "Windows build: windows-x64 (x86_64 under 64-bit Wine): this host runs no 32-bit x86 code (host check: none); 64-bit Wine runs the x86_64 build of the same sources" ] ||
  fail "the build's reason line: $why"
out=$(PELMAR_WINDOWS_BUILD=bogus "$root/scripts/windows-build" 2>&1)
[ $? -eq 2 ] && grep -q 'PELMAR_WINDOWS_BUILD must be' <<<"$out" || fail "unknown build accepted: $out"

# A prefix under a plain file cannot be made, whoever runs set-up.
touch "$work/file"
out=$(WINEPREFIX=$work/file/prefix "$root/scripts/setup.sh" prefix 2>&1)
status=$?
[ "$status" -ne 0 ] || fail "set-up with an impossible prefix exited 0"
grep -q "FAILED: wineboot could not create the Wine prefix $work/file/prefix" <<<"$out" ||
  fail "no clear line for the impossible prefix: $out"

# The Wine wrapper refuses an unknown mode or architecture instead of guessing.
out=$(PELMAR_WINE=bogus "$root/scripts/wine" --arch=i686 x.exe 2>&1)
[ $? -eq 2 ] && grep -q 'PELMAR_WINE must be' <<<"$out" || fail "unknown PELMAR_WINE accepted: $out"
out=$("$root/scripts/wine" --arch=arm x.exe 2>&1)
[ $? -eq 2 ] && grep -q 'architecture must be i686 or x86_64' <<<"$out" || fail "unknown architecture accepted: $out"

if [ "$failures" -eq 0 ]; then
  echo "test bed: all cases passed"
else
  echo "test bed: $failures failure(s)"
  exit 1
fi
