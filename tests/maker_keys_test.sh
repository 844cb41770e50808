#!/usr/bin/env bash
# The maker keys a build pins (cmake/maker_keys.cmake): one or two keys from
# the key file, and a build meant for release refuses the development key.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

keys() { cmake "$@" -P "$root/cmake/maker_keys.cmake" >"$work/out" 2>&1; }
expect_ok() {
  local what=$1; shift
  if keys "$@"; then echo "ok   $what"; else echo "FAIL $what: $(cat "$work/out")"; failures=$((failures + 1)); fi
}
expect_refused() {
  local what=$1 pattern=$2; shift 2
  if keys "$@"; then
    echo "FAIL $what: accepted"; failures=$((failures + 1))
  elif ! tr -s '\n ' '  ' <"$work/out" | grep -q "$pattern"; then
    echo "FAIL $what: refused without \"$pattern\": $(cat "$work/out")"; failures=$((failures + 1))
  else
    echo "ok   $what"
  fi
}

/usr/bin/python3 -B "$root/backend/releases.py" keygen "$work/maker" --label "test maker" >/dev/null
/usr/bin/python3 -B "$root/backend/releases.py" keygen "$work/next" --label "next maker" >/dev/null
dev=$root/backend/keys/DEVELOPMENT-ONLY-maker.pub
cat "$work/maker.pub" "$work/next.pub" >"$work/two.pub"
cat "$work/two.pub" "$dev" >"$work/three.pub"
cat "$work/maker.pub" "$dev" >"$work/rotating-from-dev.pub"
printf '0123 not a key\n' >"$work/bad.pub"
: >"$work/empty.pub"

expect_ok "the development build pins the development key" -DPELMAR_MAKER_KEYS_FILE="$dev"
expect_ok "the default is the development key"
expect_ok "a release build pins the maker's key" -DPELMAR_RELEASE=ON -DPELMAR_MAKER_KEYS_FILE="$work/maker.pub"
expect_ok "a release build pins two keys while rotating" -DPELMAR_RELEASE=ON -DPELMAR_MAKER_KEYS_FILE="$work/two.pub"
expect_refused "a release build refuses the development key" "development maker" -DPELMAR_RELEASE=ON -DPELMAR_MAKER_KEYS_FILE="$dev"
expect_refused "a release build refuses the development key by default" "development maker" -DPELMAR_RELEASE=ON
expect_refused "a release build refuses the development key beside another" "development maker" -DPELMAR_RELEASE=ON -DPELMAR_MAKER_KEYS_FILE="$work/rotating-from-dev.pub"
expect_refused "three keys" "holds 3 keys" -DPELMAR_MAKER_KEYS_FILE="$work/three.pub"
expect_refused "no key" "holds 0 keys" -DPELMAR_MAKER_KEYS_FILE="$work/empty.pub"
expect_refused "a line that is no key" "is not a key" -DPELMAR_MAKER_KEYS_FILE="$work/bad.pub"
expect_refused "a missing file" "does not exist" -DPELMAR_MAKER_KEYS_FILE="$work/none.pub"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "all passed"
