#!/usr/bin/env bash
# Builds the gateway for 64-bit Windows on a Debian 12 machine:
#   bash scripts/build-windows.sh          (as root the first time: it installs packages)
# 1. installs the MinGW-w64 toolchain and the build tools (apt);
# 2. adds a deb-src entry and fetches Debian's source packages of the libraries;
# 3. builds the libraries into a sysroot outside the clone, cached under
#    $ORV_WINDOWS_CACHE (default /var/cache/orvane-windows) in a directory
#    keyed by scripts/windows-sysroot.sh, the toolchain file and the versions
#    of the sources and of the MinGW packages; a later run with the same key
#    reuses it (it must stay at that path: its .pc files name it);
# 4. configures and builds the project into build-windows/.
# ORV_WINDOWS_SYSROOT=DIR uses (and if need be builds) DIR instead of the
# keyed cache, for working on the library recipes.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
HOST=x86_64-w64-mingw32
CACHE=${ORV_WINDOWS_CACHE:-/var/cache/orvane-windows}
JOBS=${JOBS:-$(nproc)}
export JOBS
t_start=$SECONDS

TOOLS=(
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev
  wine wine64 meson ninja-build cmake nsis pkg-config dpkg-dev
  autoconf automake libtool gettext
  # GMime's autoreconf
  gtk-doc-tools gobject-introspection libgirepository1.0-dev valac
)
# Debian source packages of the libraries.
SOURCES=(openssl glib2.0 gmime libffi pcre2 libxml2 libsodium libmicrohttpd googletest nlohmann-json3 cpp-httplib)

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "build-windows: $1; run this script as root once" >&2
    exit 1
  fi
}

missing=()
for p in "${TOOLS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  need_root "missing ${missing[*]}"
  echo "build-windows: installing ${missing[*]}"
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Source entries for the same suites as the binary ones.
SRC_LIST=/etc/apt/sources.list.d/orvane-deb-src.sources
if ! apt-cache showsrc --only-source openssl 2>/dev/null | grep -q "^Version:"; then
  need_root "no deb-src entry"
  if [ ! -e "$SRC_LIST" ]; then
    for f in /etc/apt/sources.list.d/*.sources; do
      [ "$f" = "$SRC_LIST" ] && continue
      grep -q '^URIs: http://deb.debian.org/' "$f" || continue
      sed -e 's/^Types: deb$/Types: deb-src/' "$f"
      echo
    done > "$SRC_LIST"
    if [ ! -s "$SRC_LIST" ]; then
      grep -h '^deb http' /etc/apt/sources.list 2>/dev/null | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/orvane-deb-src.list
      rm -f "$SRC_LIST"
    fi
  fi
  apt-get update -qq
fi

# The sources: for each package the newest version the mirror still has (an
# index can name a version whose files are gone), kept in the cache so a
# later run downloads nothing.
srcdir=$CACHE/sources
mkdir -p "$srcdir"
fetch() {
  local s=$1 v dsc
  for v in $(apt-cache showsrc --only-source "$s" | sed -n 's/^Version: //p' | sort -rVu); do
    dsc=${s}_${v#*:}.dsc
    if [ -e "$srcdir/$dsc" ] || (cd "$srcdir" && apt-get source --download-only -qq \
         -o APT::Sandbox::User=root "$s=$v" >/dev/null 2>&1); then
      echo "$dsc"
      return 0
    fi
  done
  echo "build-windows: cannot fetch the source package $s" >&2
  return 1
}
echo "build-windows: sources"
dscs=""
for s in "${SOURCES[@]}"; do
  dsc=$(fetch "$s")
  dscs+="$dsc"$'\n'
  # Only the chosen version stays, so the build sees one of each.
  for other in "$srcdir/${s}"_*.dsc; do
    [ "$(basename "$other")" = "$dsc" ] || rm -f "$other"
  done
done

# The cache key: the recipes, the toolchain file, the source versions and
# the MinGW packages' versions.
key=$( {
  cat scripts/windows-sysroot.sh cmake/mingw-w64.cmake
  echo "$dscs"
  dpkg-query -W -f='${Package} ${Version}\n' g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 \
    mingw-w64-x86-64-dev libz-mingw-w64-dev
} | sha256sum | cut -c1-16)
SYSROOT=${ORV_WINDOWS_SYSROOT:-$CACHE/sysroot-$key}

if [ -e "$SYSROOT/.complete" ]; then
  echo "build-windows: libraries from the cache ($SYSROOT)"
else
  echo "build-windows: building the libraries into $SYSROOT"
  t0=$SECONDS
  bash scripts/windows-sysroot.sh "$SYSROOT" "$srcdir"
  touch "$SYSROOT/.complete"
  echo "build-windows: libraries took $((SECONDS - t0)) s"
  # Older sysroots of this cache are of no further use.
  for old in "$CACHE"/sysroot-*; do
    [ "$old" = "$SYSROOT" ] || [ ! -d "$old" ] || rm -rf "$old"
  done
fi

cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DORV_WINDOWS_SYSROOT="$SYSROOT" \
  $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache) >/dev/null
# The programs and the test binaries that run under Wine (the others drive
# POSIX or need real servers).
TARGETS=${ORV_WINDOWS_TARGETS:-orvserv orvdb tarnwick-sim test_common test_engine test_platform}
cmake --build build-windows -j"$JOBS" --target $TARGETS
echo "$SYSROOT" > build-windows/sysroot.txt
echo "build-windows: done in $((SECONDS - t_start)) s (build-windows/)"
