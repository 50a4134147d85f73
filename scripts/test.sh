#!/usr/bin/env bash
# Installs the build's packages, configures, builds with two jobs and runs every test.
# Usage: scripts/test.sh [preset ...]   (presets: dev asan tsan win64; default dev)
# win64 is the Windows build, tested under Wine: it also builds the libraries of
# scripts/win-deps.sh (once) and the host tool that draws the sample products (in build/dev).
# The exit status is the tests' result.
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
    cmake --build --preset dev -j2 --target ovsample
    jobs=()  # the preset runs one test at a time: the tests share drive C
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2
  if ! ctest --preset "$preset" --output-on-failure "${jobs[@]}"; then
    status=1
  fi
done
exit $status
