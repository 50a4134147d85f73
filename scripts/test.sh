#!/usr/bin/env bash
# Installs the build's packages, configures, builds with two jobs and runs every test.
# Usage: scripts/test.sh [preset ...]   (presets: dev asan tsan; default dev)
# The exit status is the tests' result.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=(dev)

status=0
for preset in "${presets[@]}"; do
  echo "== preset $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2
  if ! ctest --preset "$preset" --output-on-failure -j2; then
    status=1
  fi
done
exit $status
