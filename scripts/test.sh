#!/usr/bin/env bash
# Installs the build's packages, configures, builds with two jobs and runs every test.
# Usage: scripts/test.sh [preset ...]   (presets: dev asan tsan win64; default dev)
# win64 is the Windows build, tested under Wine: it also builds the libraries of
# scripts/win-deps.sh (once) and the host tools that draw the sample products and the window's
# pictures (in build/dev). The window and its suites are built and run when the cache holds the
# Qt of scripts/win-qt.sh, which is not built here (about 40 minutes); otherwise one line says
# they were skipped. The exit status is the tests' result.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=(dev)

status=0
for preset in "${presets[@]}"; do
  echo "== preset $preset"
  jobs=(-j2)
  if [ "$preset" = win64 ]; then
    bash scripts/win-deps.sh
    cmake --preset dev >/dev/null
    cmake --build --preset dev -j2 --target ovsample ovart
    jobs=()  # the preset runs one test at a time: the tests share drive C
  fi
  cmake --preset "$preset" >/dev/null
  if [ "$preset" = win64 ] &&
    ! grep -q '^OV_WIN_WINDOW:INTERNAL=ON' build/win64/CMakeCache.txt 2>/dev/null; then
    echo "== win64: no Qt for Windows in ${OV_WIN_CACHE:-$HOME/.cache/ovwin} (scripts/win-qt.sh builds it): the window and its tests are skipped"
  fi
  cmake --build --preset "$preset" -j2
  if ! ctest --preset "$preset" --output-on-failure "${jobs[@]}"; then
    status=1
  fi
done
exit $status
