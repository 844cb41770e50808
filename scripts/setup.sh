#!/usr/bin/env bash
# Installs everything the two targets need on a fresh Debian 12 machine.
# Idempotent: each step checks for its result first, so a second run is fast.
#   scripts/setup.sh          everything (the Wine prefix only on a host that
#                             runs 32-bit x86 code natively)
#   scripts/setup.sh prefix   only the Wine prefix, on any host (./x run)
#   scripts/setup.sh host     only say which kind of host this is
# A step whose failure would break everything after it stops the set-up with
# one line saying what failed and what to do.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps=${PELMAR_DEPS:-/opt/pelmar-deps}       # Windows-target libraries
prefix_dir=${WINEPREFIX:-$root/.wine}         # project-local Wine prefix
export DEBIAN_FRONTEND=noninteractive

say() { printf '[setup] %s\n' "$*"; }
fail() { printf '[setup] FAILED: %s\n' "$*" >&2; exit 1; }
wine=$root/scripts/wine
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 libz-mingw-w64-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32 wine64 xvfb xdotool imagemagick x11-apps
  fonts-wqy-microhei fonts-wine
  cmake ninja-build pkg-config zlib1g-dev libjsoncpp-dev libminizip-dev
  googletest libgtest-dev clang libclang-rt-14-dev llvm
  dpkg-dev patch curl python3 iproute2 clang-format time ccache
  libsodium-dev python3-nacl autoconf automake libtool advancecomp
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
  as_root apt-get update -qq || fail "apt-get update: Debian's archive is not reachable (check the network or the apt sources)"
  as_root apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null ||
    fail "apt-get install of the packages above (run it by hand to see which one)"
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
  as_root apt-get update -qq || {
    as_root rm -f "$list"
    fail "apt-get update with Debian's source index: the archive is not reachable"
  }
}

fetch_source() { # package -> prints the unpacked directory
  local pkg=$1 work=$deps/src
  mkdir -p "$work"
  if ! ls -d "$work/$pkg"-*/ >/dev/null 2>&1; then
    (cd "$work" && apt-get source -qq "$pkg" >/dev/null 2>&1) ||
      fail "apt-get source $pkg (into $work): needed to build it for the Windows target"
  fi
  ls -d "$work/$pkg"-*/ | head -n 1
}

# The Windows-target libraries, for each Windows build: the product's i686
# ones in $deps (as before), the x86_64 test build's in $deps/x86_64.
arch_deps() { # arch -> the folder its libraries go into
  case "$1" in
    i686) echo "$deps" ;;
    x86_64) echo "$deps/x86_64" ;;
  esac
}

# The libraries linked into the Windows modules are built for size: -Os, and
# a section per function and per datum so that the modules' --gc-sections
# keeps only what they reach. Each records the recipe it was built with
# (flags and patch), and a folder built with another recipe is rebuilt.
dep_flags="-Os -ffunction-sections -fdata-sections"
jsoncpp_patch=$root/scripts/jsoncpp_no_streams.patch
dep_recipe() { # library -> one line naming how it is built
  case "$1" in
    jsoncpp) echo "jsoncpp $dep_flags -DNDEBUG patch $(sha256sum <"$jsoncpp_patch" | cut -c1-16)" ;;
    minizip) echo "minizip $dep_flags -DNOCRYPT" ;;
  esac
}
dep_current() { # folder library -> true when built there with today's recipe
  [ -f "$1/lib/lib$2.a" ] && [ "$(cat "$1/lib/pelmar-$2.recipe" 2>/dev/null)" = "$(dep_recipe "$2")" ]
}
dep_built() { dep_recipe "$2" >"$1/lib/pelmar-$2.recipe"; } # folder library

build_jsoncpp() { # arch
  local arch=$1 out
  out=$(arch_deps "$arch")
  dep_current "$out" jsoncpp && return 0
  say "building JsonCpp for the Windows target ($arch)"
  local src work=$out/build/jsoncpp-src
  src=$(fetch_source libjsoncpp)
  # Patched in a copy: the unpacked source stays Debian's.
  rm -rf "$work" "$out/build/jsoncpp" "$out/include/json"
  cp -a "$src" "$work"
  patch -s -p1 -d "$work" <"$jsoncpp_patch" || fail "applying $jsoncpp_patch to JsonCpp's source in $work"
  cmake -S "$work" -B "$out/build/jsoncpp" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="$dep_flags -DNDEBUG" \
    -DCMAKE_INSTALL_PREFIX="$out" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
    -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=OFF >/dev/null
  cmake --build "$out/build/jsoncpp" >/dev/null
  cmake --install "$out/build/jsoncpp" >/dev/null
  dep_built "$out" jsoncpp
}

build_minizip() { # arch
  local arch=$1 out
  out=$(arch_deps "$arch")
  dep_current "$out" minizip && return 0
  say "building minizip for the Windows target ($arch)"
  local src cc=$arch-w64-mingw32-gcc-posix obj=$out/build/minizip
  src=$(fetch_source zlib)
  rm -f "$out/lib/libminizip.a"
  mkdir -p "$obj" "$out/include/minizip" "$out/lib"
  for f in ioapi unzip iowin32; do
    # shellcheck disable=SC2086 # the flags are words
    $cc $dep_flags -DNOCRYPT -I/usr/$arch-w64-mingw32/include -c "$src/contrib/minizip/$f.c" -o "$obj/$f.o"
  done
  $arch-w64-mingw32-ar rcs "$out/lib/libminizip.a" "$obj"/*.o
  cp "$src"/contrib/minizip/{ioapi,unzip,iowin32}.h "$out/include/minizip/"
  dep_built "$out" minizip
}

build_gtest() { # arch
  local arch=$1 out
  out=$(arch_deps "$arch")
  [ -f "$out/lib/libgtest.a" ] && return 0
  say "building GoogleTest for the Windows target ($arch)"
  cmake -S /usr/src/googletest -B "$out/build/gtest" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out" \
    -Dgtest_disable_pthreads=OFF -DBUILD_GMOCK=OFF >/dev/null
  cmake --build "$out/build/gtest" >/dev/null
  cmake --install "$out/build/gtest" >/dev/null
}

# libsodium verifies the maker's release signatures. Only what verification
# needs (--enable-minimal keeps Ed25519 and SHA-256), static, size-optimised.
build_libsodium() { # arch
  local arch=$1 out
  out=$(arch_deps "$arch")
  [ -f "$out/lib/libsodium.a" ] && return 0
  say "building libsodium for the Windows target ($arch)"
  local src obj=$out/build/libsodium
  src=$(fetch_source libsodium)
  # Debian's source carries no generated configure script.
  [ -x "$src/configure" ] || (cd "$src" && autoreconf -fi >/dev/null 2>&1) ||
    fail "autoreconf in $src: needed to configure libsodium"
  mkdir -p "$obj"
  (cd "$obj" && CC=$arch-w64-mingw32-gcc-posix CFLAGS="$dep_flags" \
    "$src/configure" --host="$arch-w64-mingw32" --prefix="$out" --disable-shared --enable-static \
    --enable-minimal --disable-pie --disable-ssp >build.log 2>&1 &&
    make -j"$(nproc)" >>build.log 2>&1 && make install >>build.log 2>&1) ||
    fail "building libsodium for $arch (its output: $obj/build.log): needed to check release signatures"
}

build_windows_deps() {
  local arch
  for arch in i686 x86_64; do
    build_jsoncpp "$arch"
    build_minizip "$arch"
    build_gtest "$arch"
    build_libsodium "$arch"
  done
}

# The project's prefix: win64, so the 32-bit installer runs as on 64-bit
# Windows, with the Chinese UI fonts mapped to the installed CJK font.
make_wine_prefix() {
  if [ ! -f "$prefix_dir/system.reg" ]; then
    say "creating the Wine prefix $prefix_dir"
    local log=${TMPDIR:-/tmp}/pelmar-wineboot.$$.log
    if ! "$wine" --boot --init >"$log" 2>&1 || ! "$wine" --server -w || [ ! -f "$prefix_dir/system.reg" ]; then
      fail "wineboot could not create the Wine prefix $prefix_dir (its output: $log); check that the folder is writable, or set WINEPREFIX to one that is"
    fi
    rm -f "$log"
  fi
  if ! grep -q '"Microsoft Yahei"="WenQuanYi Micro Hei"' "$prefix_dir/user.reg" 2>/dev/null; then
    local reg=$prefix_dir/fonts.reg
    cat >"$reg" <<'REG' || fail "cannot write $reg"
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Microsoft Yahei"="WenQuanYi Micro Hei"
"SimHei"="WenQuanYi Micro Hei"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"Microsoft Yahei"="WenQuanYi Micro Hei"
"SimHei"="WenQuanYi Micro Hei"
REG
    "$wine" regedit /S "$reg" >/dev/null 2>&1 && "$wine" --server -w ||
      fail "regedit could not map the Chinese UI fonts in $prefix_dir"
  fi
  # Tests and runs use an Xvfb without a window manager. For windows it
  # "manages", Wine waits up to 2 s per hidden window for a manager that never
  # answers, which would add seconds to every close the tests time.
  if ! grep -q '"Managed"="N"' "$prefix_dir/user.reg" 2>/dev/null; then
    local x11=$prefix_dir/x11.reg
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n' >"$x11" ||
      fail "cannot write $x11"
    "$wine" regedit /S "$x11" >/dev/null 2>&1 && "$wine" --server -w ||
      fail "regedit could not set Wine's X11 driver options in $prefix_dir"
  fi
}

# On a host that runs no 32-bit x86 code, qemu user mode runs Debian's 32-bit
# Wine loader. Our own binfmt_misc entry (and only ours) sends every 32-bit
# program to it, so the processes Wine starts itself are emulated too. The
# kernel's own loader would win on an ordinary host, so we register only here.
binfmt_dir=/proc/sys/fs/binfmt_misc
binfmt_name=pelmar-i386
register_qemu_i386() {
  [ -e "$binfmt_dir/$binfmt_name" ] && return 0
  if [ ! -e "$binfmt_dir/register" ]; then
    as_root mount -t binfmt_misc binfmt_misc "$binfmt_dir" 2>/dev/null || {
      say "cannot mount binfmt_misc: ./x run will stop at once on this host (Windows tests are skipped)"
      return 0
    }
  fi
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  # F: the kernel opens the interpreter now, so it works in any mount namespace.
  if printf ':%s:M::%s:%s:%s:F' "$binfmt_name" "$magic" "$mask" "$(command -v qemu-i386-static)" |
    as_root tee "$binfmt_dir/register" >/dev/null 2>&1; then
    say "registered qemu user mode for 32-bit programs ($binfmt_dir/$binfmt_name)"
  else
    say "cannot register qemu user mode for 32-bit programs: ./x run will stop at once on this host (Windows tests are skipped)"
  fi
}

host_check() {
  host=$("$root/scripts/host32") || true  # its status says only "not native"
  case "$host" in
    native) say "host: runs 32-bit x86 code natively; Wine runs the 32-bit installer directly" ;;
    emulated) say "host: runs no 32-bit x86 code natively (only through a qemu registration); the Windows suites run from the x86_64 build under 64-bit Wine" ;;
    none) say "host: runs no 32-bit x86 code (64-bit user code only); the Windows suites run from the x86_64 build under 64-bit Wine" ;;
  esac
  # The emulated 32-bit Wine is only ever tried on request (minutes per process).
  if [ "${PELMAR_WINE:-auto}" = qemu ]; then
    packages+=(qemu-user-static)
  fi
}

case "${1:-}" in
  prefix) make_wine_prefix; exit 0 ;;
  host) host_check; exit 0 ;;
esac

host_check
install_packages
enable_sources
build_windows_deps
# Only a request for the emulated 32-bit Wine registers qemu, and a forced
# answer (tests) never registers anything on a host that needs nothing. Without
# the registration the 32-bit half of a new prefix fails at once instead of
# taking minutes under emulation.
if [ "$host" != native ] && [ "${PELMAR_WINE:-auto}" = qemu ] && [ "${PELMAR_FORCE_NO_IA32:-0}" != 1 ]; then
  register_qemu_i386
fi
make_wine_prefix
say "ready"
