#!/usr/bin/env bash
# Cross-builds the Qt the window needs (Core, Gui, Widgets, Test and the qwindows platform
# plugin), static, for MinGW-w64 from Debian's own qt6-base source, at the version of the
# host's Qt packages, whose moc, rcc and uic the build runs. Installs into the cache root of
# scripts/win-deps.sh, where the toolchain file's find_package(Qt6) finds it.
# One stamp per Qt version and option set: a second run takes a second, a cold one about 40
# minutes on two cores. It is a script of its own so that the other Windows libraries (and CI,
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
  # Text: GDI finds the system's fonts, Chinese among them, and no script the window shows
  # needs shaping. DirectWrite 3 only serves a font database that is off by default, and
  # Qt 6.4 leaves it out of QtGui without Direct2D while the plugin still calls it.
  -no-icu -no-harfbuzz -no-freetype -no-fontconfig -no-feature-direct2d -no-feature-directwrite3
  # Images: PNG and JPEG only. All of it bundled, zlib too: Qt's copy has prefixed, hidden
  # symbols, and MinGW's would link as zlib1.dll unless every program asks for the static one.
  -qt-libpng -qt-libjpeg -qt-zlib -no-gif -no-ico
  -no-feature-imageformat_ppm -no-feature-imageformat_xbm -no-feature-movie -no-feature-pdf
  # Debian drops the Wintab headers from the source; tablets are of no use to an installer.
  -no-feature-tabletevent
  # Debian's cross patch would build androiddeployqt for Windows.
  -no-feature-androiddeployqt
  -no-feature-sessionmanager -no-feature-systemtrayicon
  # Widgets and text formats the window has no use for.
  -no-feature-calendarwidget -no-feature-datetimeedit -no-feature-dial -no-feature-lcdnumber
  -no-feature-toolbox -no-feature-wizard -no-feature-colordialog -no-feature-fontdialog
  -no-feature-fontcombobox -no-feature-keysequenceedit -no-feature-undocommand
  -no-feature-columnview -no-feature-datawidgetmapper -no-feature-splashscreen
  -no-feature-graphicsview -no-feature-syntaxhighlighter -no-feature-commandlinkbutton
  -no-feature-textodfwriter -no-feature-textmarkdownreader -no-feature-textmarkdownwriter
)

main() {
  local t0 src ver key dir build hostcmake
  t0=$(date +%s)
  install_packages "${PACKAGES[@]}"
  read -r src ver < <(dpkg-query -W -f='${source:Package} ${source:Version}\n' qt6-base-dev-tools)
  key="qt6-$ver-$(printf '%s\n' "${QT_OPTIONS[@]}" | sha1sum | cut -c1-8)"
  if stamped "$key"; then
    log "Qt $ver is up to date in $ROOT"
    return 0
  fi
  local manifest=$CACHE/qt6-install-manifest.txt
  hostcmake=$(dirname "$(dirname "$(dpkg -L qt6-base-dev | grep -m1 '/Qt6CoreTools/Qt6CoreToolsConfig.cmake$')")")

  # Another version or option set: its files go first, so that the new build finds none of
  # them in the root it searches.
  if [ -f "$manifest" ]; then
    log "removing the Qt of $(cat "$STAMPS"/qt6-* 2>/dev/null | head -n1)"
    xargs -d '\n' rm -f <"$manifest"
    rm -f "$manifest" "$STAMPS"/qt6-*
    find "$ROOT" -mindepth 1 -type d -empty -delete
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
  rm -rf "$build" "${WORK:?}/$src"
  log "Qt $ver done in $(($(date +%s) - t0)) s:" \
    "$(xargs -d '\n' stat -c %s <"$manifest" | awk '{ s += $1 } END { printf "%d", s / 1048576 }')" \
    "MiB in $ROOT"
}

main "$@"
