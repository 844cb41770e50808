#!/usr/bin/env bash
# Installs everything the two targets need on a fresh Debian 12 machine.
# Idempotent: each step checks for its result first, so a second run is fast.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps=${PELMAR_DEPS:-/opt/pelmar-deps}       # Windows-target libraries
prefix_dir=${WINEPREFIX:-$root/.wine}         # project-local Wine prefix
export DEBIAN_FRONTEND=noninteractive

say() { printf '[setup] %s\n' "$*"; }
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 libz-mingw-w64-dev
  wine wine32 wine64 xvfb xdotool imagemagick x11-apps
  fonts-wqy-microhei fonts-wine
  cmake ninja-build pkg-config zlib1g-dev libjsoncpp-dev libminizip-dev
  googletest libgtest-dev clang libclang-rt-14-dev llvm
  dpkg-dev curl python3 iproute2 clang-format time ccache
)

install_packages() {
  local missing=()
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    missing+=(__update__)
  fi
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
}

# Debian's own sources for the cross-built libraries. Only the main suite:
# the security suite serves no sources.
enable_sources() {
  local list=/etc/apt/sources.list.d/pelmar-src.sources
  [ -f "$list" ] && return 0
  as_root tee "$list" >/dev/null <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  as_root apt-get update -qq
}

fetch_source() { # package -> prints the unpacked directory
  local pkg=$1 work=$deps/src
  mkdir -p "$work"
  if ! ls -d "$work/$pkg"-*/ >/dev/null 2>&1; then
    (cd "$work" && apt-get source -qq "$pkg" >/dev/null 2>&1)
  fi
  ls -d "$work/$pkg"-*/ | head -n 1
}

build_jsoncpp() {
  [ -f "$deps/lib/libjsoncpp.a" ] && return 0
  say "building JsonCpp for the Windows target"
  local src
  src=$(fetch_source libjsoncpp)
  cmake -S "$src" -B "$deps/build/jsoncpp" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
    -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=OFF >/dev/null
  cmake --build "$deps/build/jsoncpp" >/dev/null
  cmake --install "$deps/build/jsoncpp" >/dev/null
}

build_minizip() {
  [ -f "$deps/lib/libminizip.a" ] && return 0
  say "building minizip for the Windows target"
  local src cc=i686-w64-mingw32-gcc-posix out=$deps/build/minizip
  src=$(fetch_source zlib)
  mkdir -p "$out" "$deps/include/minizip" "$deps/lib"
  for f in ioapi unzip iowin32; do
    $cc -O2 -DNOCRYPT -I/usr/i686-w64-mingw32/include -c "$src/contrib/minizip/$f.c" -o "$out/$f.o"
  done
  i686-w64-mingw32-ar rcs "$deps/lib/libminizip.a" "$out"/*.o
  cp "$src"/contrib/minizip/{ioapi,unzip,iowin32}.h "$deps/include/minizip/"
}

build_gtest() {
  [ -f "$deps/lib/libgtest.a" ] && return 0
  say "building GoogleTest for the Windows target"
  cmake -S /usr/src/googletest -B "$deps/build/gtest" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" \
    -Dgtest_disable_pthreads=OFF -DBUILD_GMOCK=OFF >/dev/null
  cmake --build "$deps/build/gtest" >/dev/null
  cmake --install "$deps/build/gtest" >/dev/null
}

make_wine_prefix() {
  export WINEPREFIX=$prefix_dir WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$prefix_dir/system.reg" ]; then
    say "creating the Wine prefix $prefix_dir"
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  if ! grep -q '"Microsoft Yahei"="WenQuanYi Micro Hei"' "$prefix_dir/user.reg" 2>/dev/null; then
    local reg=$prefix_dir/fonts.reg
    cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Microsoft Yahei"="WenQuanYi Micro Hei"
"SimHei"="WenQuanYi Micro Hei"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"Microsoft Yahei"="WenQuanYi Micro Hei"
"SimHei"="WenQuanYi Micro Hei"
REG
    wine regedit /S "$reg" >/dev/null 2>&1 || true
    wineserver -w || true
  fi
}

install_packages
enable_sources
build_jsoncpp
build_minizip
build_gtest
make_wine_prefix
say "ready"
