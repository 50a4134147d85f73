#!/usr/bin/env bash
# Installs the MinGW-w64 cross toolchain and Wine, and builds the libraries that Debian has no
# MinGW build of from their Debian source packages into a cache outside the tree:
#   ${OV_WIN_CACHE:-~/.cache/ovwin}/root   headers, static libraries and CMake packages
# Each library is rebuilt only when the version Debian offers changes (one stamp per source
# package and version), so a second run takes seconds. Sources come through `apt-get source`
# with an apt configuration of this script's own; the machine's apt setup is not changed.
# With --qt it also runs scripts/win-qt.sh, the static Qt of the window.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev wine64 dpkg-dev
  # Tahoma, the default font of Qt's window under Wine
  fonts-wine
  cmake ninja-build xz-utils
  nlohmann-json3-dev libsimpleini-dev googletest
  # the host-side libraries whose versions name the sources to build
  libssl-dev libpugixml-dev libzip-dev libcpp-httplib-dev libcurl4-openssl-dev
)

source scripts/win-lib.sh

cmake_cross() {  # source-dir build-dir options...
  local s=$1 b=$2
  shift 2
  cmake -S "$s" -B "$b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DOV_WIN_ROOT="$ROOT" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$ROOT" -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
  cmake --build "$b" -j"$JOBS" >/dev/null
  cmake --install "$b" >/dev/null
}

build_openssl() {
  local dir=$1
  (
    cd "$dir"
    ./Configure mingw64 --cross-compile-prefix=$TRIPLE- no-shared no-tests \
      --prefix="$ROOT" --libdir=lib >/dev/null
    make -j"$JOBS" build_libs >/dev/null
    make install_dev >/dev/null
  )
}

build_pugixml() { cmake_cross "$1" "$1/build" -DPUGIXML_BUILD_TESTS=OFF; }

build_libzip() {
  cmake_cross "$1" "$1/build" -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF \
    -DBUILD_DOC=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
    -DENABLE_OPENSSL=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF
}

# The full header, not Debian's split build.
build_httplib() { install -D -m 644 "$1/httplib.h" "$ROOT/include/httplib.h"; }

build_curl() {
  cmake_cross "$1" "$1/build" -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DHTTP_ONLY=ON -DCURL_USE_OPENSSL=ON -DOPENSSL_ROOT_DIR="$ROOT" -DOPENSSL_USE_STATIC_LIBS=ON \
    -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF \
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DENABLE_UNIX_SOCKETS=OFF \
    -DCURL_DISABLE_LDAP=ON -DCURL_CA_FALLBACK=OFF
}

build_gtest() { cmake_cross /usr/src/googletest "$WORK/googletest" -Dgtest_disable_pthreads=OFF; }

# Header-only libraries come from the host's packages.
copy_headers() {
  mkdir -p "$ROOT/include"
  cp -r /usr/include/nlohmann "$ROOT/include/"
  cp /usr/include/SimpleIni.h "$ROOT/include/"
  [ -f /usr/include/ConvertUTF.h ] && cp /usr/include/ConvertUTF.h "$ROOT/include/"
  return 0
}

# name binary-package builder
one() {
  local name=$1 pkg=$2 builder=$3 src ver key dir t0
  read -r src ver < <(source_of "$pkg")
  [ -n "$ver" ] || { log "no version of $pkg known to apt"; exit 1; }
  key="$name-$ver"
  if stamped "$key"; then return 0; fi
  t0=$(date +%s)
  if [ "$name" = googletest ]; then
    dir=/usr/src/googletest
  else
    dir=$(fetch_source "$src" "$ver")
  fi
  log "building $name from $(basename "$dir")"
  "$builder" "$dir"
  stamp "$key" "$(basename "$dir")"
  log "$name done in $(($(date +%s) - t0)) s"
}

main() {
  local t0
  t0=$(date +%s)
  install_packages "${PACKAGES[@]}"
  mkdir -p "$ROOT" "$WORK"
  copy_headers
  one openssl libssl-dev build_openssl
  one pugixml libpugixml-dev build_pugixml
  one libzip libzip-dev build_libzip
  one httplib libcpp-httplib-dev build_httplib
  one curl libcurl4-openssl-dev build_curl
  one googletest googletest build_gtest
  # The window's Qt is opt-in: its cold build takes most of an hour.
  if [ "${1:-}" = --qt ]; then bash scripts/win-qt.sh; fi
  log "ready in $ROOT ($(($(date +%s) - t0)) s)"
}

main "$@"
