#!/usr/bin/env bash
# Cross-builds the Qt the window needs (Core, Gui, Widgets, Test and the qwindows platform
# plugin), static, for MinGW-w64 from Debian's own qt6-base source, at the version of the
# host's Qt packages, whose moc, rcc and uic the build runs. Installs into the cache root of
# scripts/win-deps.sh, where the toolchain file's find_package(Qt6) finds it.
# One stamp per Qt version and option set: a second run takes seconds, a cold one most of an
# hour on two cores. It is a script of its own so that the other Windows libraries (and CI,
# through scripts/test.sh) do not wait for it; `scripts/win-deps.sh --qt` runs both.
# The build runs at nice 19 with $JOBS (2) jobs; its output goes to $WORK/qt6-base.log.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev dpkg-dev cmake ninja-build xz-utils perl
  # the host Qt: its version names the source, its tools run in the build
  qt6-base-dev qt6-base-dev-tools
)

source scripts/win-lib.sh

QT_OPTIONS=(
  -release -static -static-runtime -optimize-size -gc-binaries
  -nomake examples -nomake tests -no-pkg-config
  # Modules the window does not use. Xml is the module only; QtCore's stream reader stays.
  -no-dbus -no-feature-network -no-feature-sql -no-feature-printsupport -no-feature-concurrent
  -no-feature-xml -no-opengl -no-feature-vulkan
  # Text: GDI and DirectWrite find and draw the system's fonts, Chinese among them, and no
  # script the window shows needs shaping.
  -no-icu -no-harfbuzz -no-freetype -no-fontconfig
  # Images: PNG and JPEG only, from Qt's bundled copies; zlib is MinGW's, the one the
  # installer already links.
  -qt-libpng -qt-libjpeg -system-zlib -no-gif -no-ico
  # Debian drops the Wintab headers from the source; tablets are of no use to an installer.
  -no-feature-tabletevent
  # Debian's cross patch would build androiddeployqt for Windows.
  -no-feature-androiddeployqt
  -no-feature-direct2d -no-feature-sessionmanager -no-feature-systemtrayicon
)

main() {
  local t0 src ver key dir build hostcmake
  t0=$(date +%s)
  install_packages "${PACKAGES[@]}"
  read -r src ver < <(dpkg-query -W -f='${source:Package} ${source:Version}' qt6-base-dev-tools)
  key="qt6-$ver-$(printf '%s\n' "${QT_OPTIONS[@]}" | sha1sum | cut -c1-8)"
  if stamped "$key"; then
    log "Qt $ver is up to date in $ROOT"
    return 0
  fi
  hostcmake=$(dirname "$(dirname "$(dpkg -L qt6-base-dev | grep -m1 '/Qt6CoreTools/Qt6CoreToolsConfig.cmake$')")")

  # Another version or option set: its files go before the new ones are installed.
  local manifest=$CACHE/qt6-install-manifest.txt
  if [ -f "$manifest" ]; then
    log "removing the Qt of $(ls "$STAMPS" | grep '^qt6-' | head -n1)"
    xargs -d '\n' rm -f <"$manifest"
    rm -f "$manifest" "$STAMPS"/qt6-*
  fi

  mkdir -p "$ROOT" "$WORK"
  dir=$(fetch_source "$src" "$ver")
  build=$WORK/qt6-base-build
  rm -rf "$build" && mkdir -p "$build"
  local out=$WORK/qt6-base.log
  log "building Qt from $(basename "$dir") (log: $out)"
  if ! (
    cd "$build"
    nice -n 19 "$dir/configure" -prefix "$ROOT" -qt-host-path /usr "${QT_OPTIONS[@]}" -- \
      -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DOV_WIN_ROOT="$ROOT" \
      -DQT_HOST_PATH_CMAKE_DIR="$hostcmake"
    nice -n 19 cmake --build . --parallel "$JOBS"
    cmake --install .
  ) >"$out" 2>&1; then
    tail -n 40 "$out"
    log "Qt build failed; the build folder $build is kept"
    exit 1
  fi
  cp "$build/install_manifest.txt" "$manifest"
  stamp "$key" "$(basename "$dir")"
  rm -rf "$build" "$WORK/$src"
  log "Qt $ver done in $(($(date +%s) - t0)) s:" \
    "$(($(xargs -d '\n' du -cb <"$manifest" | tail -n1 | cut -f1) / 1048576)) MiB in $ROOT"
}

main "$@"
