#!/usr/bin/env bash
# Builds the gateway's libraries for 64-bit Windows (MinGW-w64) from Debian's
# source packages into the sysroot given as $1. Called by build-windows.sh,
# which installs the tools, fetches the sources into $2 and keys the cache;
# this file's hash is part of that key, so a change here rebuilds.
#   windows-sysroot.sh SYSROOT SOURCES_DIR
# Each library leaves a stamp in SYSROOT/.stamps, so an interrupted build
# resumes with the library that failed.
set -euo pipefail
SYSROOT=$1
SOURCES=$2
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
JOBS=${JOBS:-$(nproc)}
HOST=x86_64-w64-mingw32
WORK=$SYSROOT.work
mkdir -p "$SYSROOT"/{bin,include,lib/pkgconfig} "$SYSROOT/.stamps" "$WORK"

export CC=$HOST-gcc-posix CXX=$HOST-g++-posix AR=$HOST-ar RANLIB=$HOST-ranlib
export STRIP=$HOST-strip WINDRES=$HOST-windres RC=$HOST-windres
export PKG_CONFIG_LIBDIR="$SYSROOT/lib/pkgconfig:/usr/$HOST/lib/pkgconfig"
export PKG_CONFIG_PATH=
export CPPFLAGS="-I$SYSROOT/include" LDFLAGS="-L$SYSROOT/lib"
export CFLAGS="-O2" CXXFLAGS="-O2"
# Configure checks that run a program run it under Wine, in a prefix of our
# own. Its helper processes must not inherit a build step's pipes.
export WINEPREFIX=$WORK/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPATH="Z:${SYSROOT//\//\\}\\bin"
if [ ! -e "$WINEPREFIX/system.reg" ]; then
  wineboot -i </dev/null >/dev/null 2>&1 || true
fi
wineserver -p </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT

log() { echo "windows-sysroot: $*"; }
done_() { [ -e "$SYSROOT/.stamps/$1" ]; }
stamp() { touch "$SYSROOT/.stamps/$1"; }

# Unpacks Debian source package $1 (with Debian's patches) and prints its
# directory.
unpack() {
  local dsc dir
  dsc=$(ls "$SOURCES"/"$1"_*.dsc | head -1)
  dir=$WORK/$1
  rm -rf "$dir"
  dpkg-source --no-check -x "$dsc" "$dir" >/dev/null
  echo "$dir"
}

autotools() { # name srcpkg configure-args...
  local name=$1 pkg=$2; shift 2
  done_ "$name" && return 0
  log "building $name"
  local t0=$SECONDS dir
  dir=$(unpack "$pkg")
  (
    cd "$dir"
    # Some Debian patches touch Makefile.am: regenerate where asked.
    if [ ! -x configure ] || [ -n "${AUTORECONF:-}" ]; then autoreconf -fi >/dev/null 2>&1; fi
    ./configure -q --host=$HOST --prefix="$SYSROOT" --libdir="$SYSROOT/lib" \
      --disable-static --enable-shared "$@" >/dev/null
    make -s -j"$JOBS" >/dev/null
    make -s install >/dev/null
  )
  rm -rf "$dir"
  stamp "$name"
  log "$name took $((SECONDS - t0)) s"
}

# The runtime of the compiler itself, so Wine and the installer find it.
runtime() {
  done_ runtime && return 0
  local gcclib
  gcclib=$(dirname "$($CXX -print-libgcc-file-name)")
  cp "$gcclib/libstdc++-6.dll" "$gcclib/libgcc_s_seh-1.dll" "$SYSROOT/bin/"
  cp "/usr/$HOST/lib/libwinpthread-1.dll" "$SYSROOT/bin/"
  # zlib comes built from libz-mingw-w64-dev.
  cp /usr/$HOST/lib/zlib1.dll "$SYSROOT/bin/" 2>/dev/null || cp /usr/$HOST/bin/zlib1.dll "$SYSROOT/bin/"
  stamp runtime
}

# iconv: GLib's own Windows implementation, built as a DLL on its own; it
# serves GLib, GMime and libxml2 alike.
win_iconv() {
  done_ iconv && return 0
  log "building iconv (win_iconv from GLib)"
  local dir
  dir=$(unpack glib2.0)
  cat > "$SYSROOT/include/iconv.h" <<'EOF'
#ifndef ICONV_H
#define ICONV_H
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
typedef void *iconv_t;
iconv_t iconv_open(const char *tocode, const char *fromcode);
int iconv_close(iconv_t cd);
size_t iconv(iconv_t cd, char **inbuf, size_t *inbytesleft, char **outbuf, size_t *outbytesleft);
#ifdef __cplusplus
}
#endif
#endif
EOF
  $CC -O2 -shared -DMAKE_DLL -o "$SYSROOT/bin/libiconv-2.dll" "$dir/glib/win_iconv.c" \
    -Wl,--out-implib,"$SYSROOT/lib/libiconv.dll.a"
  rm -rf "$dir"
  stamp iconv
}

# libintl: GLib wants gettext's library; with no translations shipped, one
# that returns its argument is all it needs. It must be a DLL: with a static
# libintl.a libtool quietly builds GMime static-only.
pass_through_intl() {
  done_ intl && return 0
  log "building a pass-through libintl"
  cat > "$SYSROOT/include/libintl.h" <<'EOF'
#ifndef LIBINTL_H
#define LIBINTL_H
#include <locale.h>
#ifndef LC_MESSAGES
#define LC_MESSAGES 1729
#endif
#ifdef __cplusplus
extern "C" {
#endif
#define INTL_FA(n) __attribute__((format_arg(n)))
char *gettext(const char *msgid) INTL_FA(1);
char *dgettext(const char *domain, const char *msgid) INTL_FA(2);
char *dcgettext(const char *domain, const char *msgid, int category) INTL_FA(2);
char *ngettext(const char *one, const char *many, unsigned long n) INTL_FA(1) INTL_FA(2);
char *dngettext(const char *domain, const char *one, const char *many, unsigned long n) INTL_FA(2) INTL_FA(3);
char *dcngettext(const char *domain, const char *one, const char *many, unsigned long n, int category) INTL_FA(2) INTL_FA(3);
char *textdomain(const char *domain);
char *bindtextdomain(const char *domain, const char *dir);
char *bind_textdomain_codeset(const char *domain, const char *codeset);
#ifdef __cplusplus
}
#endif
#endif
EOF
  cat > "$WORK/intl.c" <<'EOF'
#include <libintl.h>
char *gettext(const char *m) { return (char *)m; }
char *dgettext(const char *d, const char *m) { (void)d; return (char *)m; }
char *dcgettext(const char *d, const char *m, int c) { (void)d; (void)c; return (char *)m; }
char *ngettext(const char *a, const char *b, unsigned long n) { return (char *)(n == 1 ? a : b); }
char *dngettext(const char *d, const char *a, const char *b, unsigned long n) { (void)d; return (char *)(n == 1 ? a : b); }
char *dcngettext(const char *d, const char *a, const char *b, unsigned long n, int c) { (void)d; (void)c; return (char *)(n == 1 ? a : b); }
char *textdomain(const char *d) { return (char *)(d ? d : "messages"); }
char *bindtextdomain(const char *d, const char *dir) { (void)d; return (char *)dir; }
char *bind_textdomain_codeset(const char *d, const char *c) { (void)d; return (char *)c; }
EOF
  $CC -O2 -shared -I"$SYSROOT/include" -o "$SYSROOT/bin/libintl-8.dll" "$WORK/intl.c" \
    -Wl,--out-implib,"$SYSROOT/lib/libintl.dll.a"
  stamp intl
}

glib() {
  done_ glib && return 0
  log "building glib"
  local t0=$SECONDS dir
  dir=$(unpack glib2.0)
  cat > "$WORK/cross.txt" <<EOF
[binaries]
c = '$CC'
cpp = '$CXX'
ar = '$AR'
strip = '$STRIP'
windres = '$WINDRES'
pkgconfig = 'pkg-config'
exe_wrapper = 'wine'

[properties]
pkg_config_libdir = ['$SYSROOT/lib/pkgconfig', '/usr/$HOST/lib/pkgconfig']

[built-in options]
c_args = ['-I$SYSROOT/include']
cpp_args = ['-I$SYSROOT/include']
c_link_args = ['-L$SYSROOT/lib']
cpp_link_args = ['-L$SYSROOT/lib']

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
  (
    cd "$dir"
    unset CC CXX AR STRIP CPPFLAGS LDFLAGS CFLAGS CXXFLAGS
    meson setup _build --cross-file "$WORK/cross.txt" --prefix="$SYSROOT" --libdir=lib \
      --buildtype=release --default-library=shared --wrap-mode=nodownload \
      -Dtests=false -Dnls=disabled -Dman=false -Dgtk_doc=false -Dlibelf=disabled \
      -Dsysprof=disabled -Dselinux=disabled -Dxattr=false -Dlibmount=disabled >"$WORK/glib-setup.log" 2>&1 \
      || { tail -40 "$WORK/glib-setup.log"; exit 1; }
    ninja -C _build -j"$JOBS" >/dev/null
    ninja -C _build install >/dev/null
  )
  rm -rf "$dir"
  stamp glib
  log "glib took $((SECONDS - t0)) s"
}

gmime() {
  done_ gmime && return 0
  log "building gmime"
  local t0=$SECONDS dir
  dir=$(unpack gmime)
  (
    cd "$dir"
    touch ChangeLog
    gtkdocize --copy >/dev/null 2>&1
    autoreconf -fi >/dev/null 2>&1
    # Configure cannot run iconv-detect when cross compiling: run it under
    # Wine, so the header describes the iconv GMime will use.
    $CC -O2 -I"$SYSROOT/include" -o iconv-detect.exe iconv-detect.c -L"$SYSROOT/lib" -liconv
    wine ./iconv-detect.exe </dev/null >/dev/null 2>&1
    [ -s iconv-detect.h ]
    ./configure -q --host=$HOST --prefix="$SYSROOT" --libdir="$SYSROOT/lib" --disable-static --enable-shared \
      ac_cv_have_iconv_detect_h=yes --disable-crypto --without-libidn --enable-introspection=no \
      --enable-vala=no --disable-gtk-doc >/dev/null
    make -s -j"$JOBS" >/dev/null
    make -s install >/dev/null
  )
  rm -rf "$dir"
  stamp gmime
  log "gmime took $((SECONDS - t0)) s"
}

openssl() {
  done_ openssl && return 0
  log "building openssl"
  local t0=$SECONDS dir
  dir=$(unpack openssl)
  (
    cd "$dir"
    unset CC CXX AR RANLIB CPPFLAGS LDFLAGS CFLAGS CXXFLAGS RC WINDRES
    ./Configure mingw64 --cross-compile-prefix=$HOST- shared no-tests \
      --prefix="$SYSROOT" --libdir=lib --openssldir="$SYSROOT/ssl" >/dev/null
    make -s -j"$JOBS" build_sw >/dev/null 2>&1
    make -s install_sw >/dev/null
  )
  rm -rf "$dir"
  stamp openssl
  log "openssl took $((SECONDS - t0)) s"
}

googletest() {
  done_ googletest && return 0
  log "building googletest"
  local dir
  dir=$(unpack googletest)
  cmake -S "$dir" -B "$dir/_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DORV_WINDOWS_SYSROOT="$SYSROOT" \
    -DCMAKE_INSTALL_PREFIX="$SYSROOT" -DBUILD_SHARED_LIBS=OFF >/dev/null
  cmake --build "$dir/_build" -j"$JOBS" >/dev/null
  cmake --install "$dir/_build" >/dev/null
  rm -rf "$dir"
  stamp googletest
}

# Header-only: nlohmann-json (installed with its CMake package files) and
# cpp-httplib's single header (Debian's binary package ships a split build).
headers() {
  done_ headers && return 0
  local dir
  dir=$(unpack nlohmann-json3)
  cmake -S "$dir" -B "$dir/_build" -G Ninja -DJSON_BuildTests=OFF -DCMAKE_INSTALL_PREFIX="$SYSROOT" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DORV_WINDOWS_SYSROOT="$SYSROOT" >/dev/null
  cmake --install "$dir/_build" >/dev/null
  rm -rf "$dir"
  dir=$(unpack cpp-httplib)
  cp "$dir/httplib.h" "$SYSROOT/include/httplib.h"
  cat > "$SYSROOT/lib/pkgconfig/cpp-httplib.pc" <<EOF
prefix=$SYSROOT
includedir=\${prefix}/include
Name: cpp-httplib
Description: single-header HTTP(S) library
Version: $(sed -n 's/^#define CPPHTTPLIB_VERSION "\(.*\)"/\1/p' "$dir/httplib.h")
Requires: openssl
Cflags: -I\${includedir} -DCPPHTTPLIB_OPENSSL_SUPPORT
Libs: -lws2_32 -lcrypt32
EOF
  rm -rf "$dir"
  stamp headers
}

runtime
pass_through_intl
win_iconv
headers
autotools libffi libffi --disable-docs --disable-multi-os-directory
autotools pcre2 pcre2 --enable-pcre2-8 --disable-pcre2-16 --disable-pcre2-32 --disable-jit
glib
gmime
AUTORECONF=1 autotools libxml2 libxml2 --without-python --without-lzma --without-zlib --without-icu \
  --without-http --without-ftp --without-debug --with-iconv="$SYSROOT"
AUTORECONF=1 autotools libsodium libsodium
autotools libmicrohttpd libmicrohttpd --disable-https --without-gnutls --disable-doc \
  --disable-examples --disable-curl
googletest
openssl
wineserver -k </dev/null >/dev/null 2>&1 || true
rm -rf "$WORK"
log "sysroot complete: $SYSROOT"
