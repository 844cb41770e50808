#!/usr/bin/env bash
# Download benchmarks, measured side by side in one run:
#   1. whole download of a 48,560,128-byte package from a loopback server:
#      pkgfetch (the real URL query and CDownloader, two ranges) against curl
#      with one connection and against two curl range requests in parallel,
#      natively and under Wine: wall time (median of the repetitions), ratio
#      to curl, and peak memory (maximum resident set size);
#   2. the same against a server that paces every connection, where two ranges
#      should come close to twice the speed of one connection;
#   3. MD5 of that file: our digest routine against md5sum.
#
# Environment: PELMAR_BENCH_NATIVE_BIN / PELMAR_BENCH_WINDOWS_BIN (folders
# holding pkgfetch and download_md5, default build/linux-release/bin and
# build/windows/bin), DOWNLOAD_BENCH_REPS (3), DOWNLOAD_BENCH_PACE (bytes per
# second per connection, 8000000), DOWNLOAD_BENCH_WINE (1; 0 skips Wine).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
native_bin=${PELMAR_BENCH_NATIVE_BIN:-$root/build/linux-release/bin}
windows_bin=${PELMAR_BENCH_WINDOWS_BIN:-$root/build/windows/bin}
reps=${DOWNLOAD_BENCH_REPS:-3}
pace=${DOWNLOAD_BENCH_PACE:-8000000}
use_wine=${DOWNLOAD_BENCH_WINE:-1}
size=48560128
half=$((size / 2))
wine=$root/scripts/wine  # sets the project's Wine environment

for tool in curl md5sum /usr/bin/time /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "download_bench: $tool is missing" >&2; exit 1; }
done
[ -x "$native_bin/pkgfetch" ] || { echo "download_bench: no $native_bin/pkgfetch" >&2; exit 1; }
if [ "$use_wine" = 1 ] && [ ! -f "$windows_bin/pkgfetch.exe" ]; then
  echo "download_bench: no $windows_bin/pkgfetch.exe; skipping Wine" >&2
  use_wine=0
fi

work=$(mktemp -d /tmp/pelmar-download-bench.XXXXXX)
servers=()
cleanup() {
  # pkgfetch stores the package where the installer would; do not leave a
  # recorded 48 MB download behind in the shared Wine prefix.
  [ -n "${WINEPREFIX:-}" ] && rm -f "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/PelmarPkg/MORVANTILE/pkgfetch_install_v1.0.0.1.exe
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# start_backend NAME [switches...]: a maker backend on a free port; sets $port.
start_backend() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  /usr/bin/python3 -B "$root/backend/maker_backend.py" --data "$work/data" \
    --listen 127.0.0.1:0 --port-file "$work/$name/port" --make-package $size "$@" \
    >"$work/$name/log" 2>&1 &
  servers+=($!)
  for _ in $(seq 300); do [ -s "$work/$name/port" ] && break; sleep 0.1; done
  port=$(head -n 1 "$work/$name/port")
  [ -n "$port" ] || { echo "download_bench: backend $name did not start" >&2; exit 1; }
}

# measure LABEL COMMAND...: runs it $reps times; appends "label wall rss" lines
# (wall in seconds, peak resident set in KiB) to $work/results.
measure() {
  local label=$1
  shift
  local walls=() ctls=() rss=0 t0 t1 r c
  for _ in $(seq "$reps"); do
    rm -f "$work"/out.* "$work"/rss.*
    t0=$(date +%s.%N)
    if ! "$@" >"$work/run.log" 2>&1; then
      echo "download_bench: $label failed:" >&2
      tail -n 5 "$work/run.log" >&2
      return 1
    fi
    t1=$(date +%s.%N)
    walls+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f", b - a}')")
    # pkgfetch's own figure: from Start to the final state, without process
    # start-up and its closing digest check.
    c=$(awk '$1 == "seconds" {print $2}' "$work/run.log")
    ctls+=("${c:--}")
    r=$(cat "$work"/rss.* 2>/dev/null | awk '{s += $1} END {print s + 0}')
    [ "$r" -gt "$rss" ] && rss=$r
  done
  local median
  median=$(printf '%s\n' "${walls[@]}" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
  local ctl
  ctl=$(printf '%s\n' "${ctls[@]}" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
  echo "$label $median $rss $ctl" >>"$work/results"
}

timed() { # timed TAG COMMAND...: peak memory of one process into rss.TAG
  local tag=$1
  shift
  /usr/bin/time -f "%M" -o "$work/rss.$tag" "$@"
}

curl_one() { timed a curl -s -f -o "$work/out.1" "$url"; }
curl_two() {
  timed a curl -s -f -r "0-$((half - 1))" -o "$work/out.a" "$url" &
  local p1=$!
  timed b curl -s -f -r "$half-" -o "$work/out.b" "$url" &
  local p2=$!
  wait $p1 && wait $p2
}
pkgfetch_native() {
  HOME="$work/home" timed a "$native_bin/pkgfetch" --md5 "$md5" --version 1.0.0.1 "$url"
}
pkgfetch_wine() { timed a "$wine" "$windows_bin/pkgfetch.exe" --md5 "$md5" --version 1.0.0.1 "$url"; }

report() { # report TITLE: the table of $work/results with ratios to curl
  echo "-- $1 (median of $reps, package $size bytes)"
  awk '
    { label[NR] = $1; wall[NR] = $2; rss[NR] = $3; ctl[NR] = $4; if ($1 == "curl_1_connection") base1 = $2;
      if ($1 == "curl_2_ranges") base2 = $2 }
    END {
      printf "%-22s %9s %12s %14s %14s %10s %13s\n", "case", "wall_s", "MB/s", "x_curl_1conn", "x_curl_2rng", "peak_KiB", "start_to_done"
      for (i = 1; i <= NR; i++)
        printf "%-22s %9.3f %12.1f %14.2f %14.2f %10d %13s\n", label[i], wall[i], '"$size"' / wall[i] / 1e6,
               wall[i] / base1, wall[i] / base2, rss[i], ctl[i]
    }' "$work/results"
  rm -f "$work/results"
}

# 1. Unlimited loopback.
start_backend plain
url="http://127.0.0.1:$port/cdn/install.exe"
md5=$(md5sum "$work/data/packages/install.exe" | cut -d' ' -f1)
[ "$use_wine" = 1 ] && "$wine" --server -p >/dev/null 2>&1
measure curl_1_connection curl_one
measure curl_2_ranges curl_two
measure pkgfetch_native pkgfetch_native
[ "$use_wine" = 1 ] && measure pkgfetch_wine pkgfetch_wine
report "loopback, no limit"

# 2. Every connection paced by the server.
start_backend paced --pace "$pace"
url="http://127.0.0.1:$port/cdn/install.exe"
measure curl_1_connection curl_one
measure curl_2_ranges curl_two
measure pkgfetch_native pkgfetch_native
[ "$use_wine" = 1 ] && measure pkgfetch_wine pkgfetch_wine
report "server pacing each connection at $pace bytes/s"

# 3. MD5 of the package.
file="$work/data/packages/install.exe"
cat "$file" >/dev/null # both read from the page cache
measure md5sum timed a md5sum "$file"
measure download_md5_native timed a "$native_bin/download_md5" "$file"
[ "$use_wine" = 1 ] && [ -f "$windows_bin/download_md5.exe" ] &&
  measure download_md5_wine timed a "$wine" "$windows_bin/download_md5.exe" "Z:${file//\//\\}"
ours=$("$native_bin/download_md5" "$file" | cut -d' ' -f1)
[ "$ours" = "$md5" ] || echo "download_bench: MD5 differs from md5sum: $ours" >&2
echo "-- MD5 of the package (median of $reps; x_curl columns not meaningful here)"
awk '{ if (NR == 1) base = $2;
       printf "%-22s %9.3f s  x_md5sum %6.2f  peak %8d KiB\n", $1, $2, $2 / base, $3 }' "$work/results"
rm -f "$work/results"
