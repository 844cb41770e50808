#!/usr/bin/env bash
# HTTP GET benchmark: one GET of a 48,560,128-byte body from a loopback
# server (our driver's serve mode), our HTTP client (CTCPHttp::HttpGet, body
# held in memory) against curl (body to /dev/null) on the same server in the
# same run, natively and under Wine. Prints the median wall time of each,
# the ratio to curl and the peak memory (maximum resident set size).
#
# Environment: PELMAR_BENCH_NATIVE_BIN / PELMAR_BENCH_WINDOWS_BIN (folders
# holding http_get_bench, default build/linux-release/bin and
# build/windows/bin), HTTP_BENCH_REPS (5), HTTP_BENCH_WINE (1; 0 skips Wine).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
native_bin=${PELMAR_BENCH_NATIVE_BIN:-$root/build/linux-release/bin}
windows_bin=${PELMAR_BENCH_WINDOWS_BIN:-$root/build/windows/bin}
reps=${HTTP_BENCH_REPS:-5}
use_wine=${HTTP_BENCH_WINE:-1}
size=48560128
wine=$root/scripts/wine  # sets the project's Wine environment

for tool in curl /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "http_get_bench: $tool is missing" >&2; exit 1; }
done
[ -x "$native_bin/http_get_bench" ] || { echo "http_get_bench: no $native_bin/http_get_bench" >&2; exit 1; }
if [ "$use_wine" = 1 ] && [ ! -f "$windows_bin/http_get_bench.exe" ]; then
  echo "http_get_bench: no $windows_bin/http_get_bench.exe; skipping Wine" >&2
  use_wine=0
fi

work=$(mktemp -d /tmp/pelmar-http-bench.XXXXXX)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$native_bin/http_get_bench" serve $size "$work/port" &
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/port" 2>/dev/null)
[ -n "$port" ] || { echo "http_get_bench: server did not start" >&2; exit 1; }
url="http://127.0.0.1:$port/install.exe"

# measure NAME COMMAND...: one run; appends "milliseconds peak-kb" to $work/NAME.
# The wall time is taken around the command (nanosecond clock); /usr/bin/time
# gives the peak resident set size.
measure() {
  local name=$1
  shift
  local start end
  start=$(date +%s%N)
  if ! /usr/bin/time -f '%M' -o "$work/time" "$@" >"$work/out" 2>"$work/err"; then
    echo "http_get_bench: $name failed: $(tail -n 3 "$work/err")" >&2
    return 1
  fi
  end=$(date +%s%N)
  echo "$(((end - start) / 1000000)) $(tail -n 1 "$work/time")" >>"$work/$name"
}

# Wine starts its server once so the first timed run does not pay for it.
[ "$use_wine" = 1 ] && "$wine" "$windows_bin/http_get_bench.exe" get "$port" /warm $size >/dev/null 2>&1

status=0
for _ in $(seq "$reps"); do
  measure curl curl -s -f -o /dev/null "$url" || status=1
  measure native "$native_bin/http_get_bench" get "$port" /install.exe $size || status=1
  if [ "$use_wine" = 1 ]; then
    measure wine "$wine" "$windows_bin/http_get_bench.exe" get "$port" /install.exe $size || status=1
  fi
done

median() { sort -n | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]}'; }
curl_s=$(cut -d' ' -f1 "$work/curl" | median)
printf '%-26s %10s %10s %12s\n' "client ($reps runs)" "median ms" "vs curl" "peak RSS MB"
for name in curl native wine; do
  [ -f "$work/$name" ] || continue
  s=$(cut -d' ' -f1 "$work/$name" | median)
  kb=$(cut -d' ' -f2 "$work/$name" | sort -n | tail -n 1)
  case $name in
    curl) label="curl (native)" ;;
    native) label="CTCPHttp native" ;;
    wine) label="CTCPHttp under Wine" ;;
  esac
  printf '%-26s %10s %10s %12s\n' "$label" "$s" "$(awk -v a="$s" -v b="$curl_s" 'BEGIN {printf "%.2f", a / b}')" \
    "$(awk -v k="$kb" 'BEGIN {printf "%.1f", k / 1024}')"
done
echo "body $size bytes from $url; wall time includes process start"
exit $status
