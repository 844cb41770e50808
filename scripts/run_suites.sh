#!/usr/bin/env bash
# Runs ctest in each build folder given and prints the closing line
#   N passed, N failed, N skipped
# Exit status non-zero when any test failed (or a folder had no result).
#
# Each argument is KIND:DIR[:CTEST ARGS], KIND native, windows (the 32-bit
# product) or windows-x64 (the x86_64 build of the same sources), e.g.
#   native:build/linux:-j2  native:build/linux-tsan:-L threaded  windows-x64:build/windows-x64
# The 32-bit suites need a host that runs 32-bit x86 code (scripts/host32); on
# a host that runs none they are listed as skipped, never counted as passed.
# The x86_64 suites run under 64-bit Wine on every host.
# The caller has started the display and the Wine server for windows suites.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
log() { printf '[x] %s\n' "$*"; }

passed=0 failed=0 skipped=0

# Runs ctest in one build folder and adds its counts to the totals.
run_ctest() {
  local dir=$1
  shift
  [ -f "$dir/CTestTestfile.cmake" ] || return 0
  log "ctest in $dir"
  local out line total fails
  out=$(mktemp)
  (cd "$dir" && ctest --output-on-failure "$@") 2>&1 | tee "$out"
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -n 1)
  if [ -z "$line" ]; then
    grep -q 'No tests were found' "$out" || failed=$((failed + 1))
  else
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    fails=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    passed=$((passed + total - fails))
    failed=$((failed + fails))
  fi
  rm -f "$out"
}

# Lists every test of a folder as skipped.
skip_ctest() {
  local dir=$1
  shift
  [ -f "$dir/CTestTestfile.cmake" ] || return 0
  local name
  while read -r name; do
    log "skipped: $name ($dir)"
    skipped=$((skipped + 1))
  done < <(cd "$dir" && ctest -N "$@" | sed -n -E 's/^ *Test +#[0-9]+: (.*)$/\1/p')
}

host=$("$root/scripts/host32")
windows_reason=
if [ "$host" != native ]; then
  windows_reason="this host runs no 32-bit x86 code (host check: $host), so Wine cannot start the 32-bit installer"
fi

for suite in "$@"; do
  IFS=: read -r kind dir args <<<"$suite"
  read -r -a ctest_args <<<"${args:-}"
  case "$kind" in
    native | windows | windows-x64) ;;
    *) log "unknown suite kind '$kind' in '$suite'"; failed=$((failed + 1)); continue ;;
  esac
  if [ "$kind" = windows ] && [ -n "$windows_reason" ]; then
    log "skipping the Windows suite in $dir: $windows_reason"
    skip_ctest "$dir" "${ctest_args[@]}"
  else
    run_ctest "$dir" "${ctest_args[@]}"
  fi
done

echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
