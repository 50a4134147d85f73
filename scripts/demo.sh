#!/usr/bin/env bash
# Installs the packages, builds, serves the sample products from the stand-in services on
# 127.0.0.1 and runs the installer against them in a fresh demo prefix. With a display the
# window opens; without one the same install runs unattended through ovinst. The stand-in is
# stopped on exit; the prefix is kept so the installed files can be looked at.
# Usage: scripts/demo.sh [--cli]   (--cli: ovinst even when a display is there)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

bash scripts/deps.sh
cmake --preset dev >/dev/null
TARGETS=(ovinst ovstandin ovpublish ov_sample_tree)
WINDOW="$ROOT/build/dev/src/app/OVOnlineSetup"
grep -q 'add_executable(OVOnlineSetup' src/app/CMakeLists.txt 2>/dev/null && TARGETS+=(OVOnlineSetup)
cmake --build --preset dev -j2 --target "${TARGETS[@]}"

BIN="$ROOT/build/dev"
DEMO=$(mktemp -d /tmp/ovdemo.XXXXXX)
export OV_PREFIX="$DEMO/prefix"
# The shortcuts of the demo install stay in the demo folder, off the user's own desktop.
export XDG_DESKTOP_DIR="$DEMO/Desktop" XDG_DATA_HOME="$DEMO/share"
mkdir -p "$XDG_DESKTOP_DIR" "$XDG_DATA_HOME/applications"
PROGRAM_DIR="$OV_PREFIX/drive_c/OVOnlineSetup"
mkdir -p "$PROGRAM_DIR" "$DEMO/store"

STANDIN_PID=""
stop_standin() {
  [ -n "$STANDIN_PID" ] && kill "$STANDIN_PID" 2>/dev/null && wait "$STANDIN_PID" 2>/dev/null
  STANDIN_PID=""
}
trap stop_standin EXIT

echo "demo: publishing the sample products into $DEMO/store"
"$BIN/tools/standin/ovpublish" sample --sample "$BIN/sample" --store "$DEMO/store" \
  --catalogue "$DEMO/catalogue.json" --ketrin-dir 'C:\Ondrevo\Ketrin\'
"$BIN/tools/standin/ovstandin" --root "$DEMO/store" --catalogue "$DEMO/catalogue.json" \
  --version-port 0 --platform-port off --ready-file "$DEMO/ready" >"$DEMO/standin.log" 2>&1 &
STANDIN_PID=$!
for _ in $(seq 1 200); do [ -s "$DEMO/ready" ] && break; sleep 0.05; done
STORE_PORT=$(sed -n 's/file_store_port=//p' "$DEMO/ready")
VER_PORT=$(sed -n 's/version_server_port=//p' "$DEMO/ready")
if [ -z "$STORE_PORT" ] || [ -z "$VER_PORT" ]; then
  echo "demo: the stand-in did not start:" >&2
  cat "$DEMO/standin.log" >&2
  exit 1
fi
echo "demo: file store on 127.0.0.1:$STORE_PORT, version server on 127.0.0.1:$VER_PORT"

# The installer's settings beside its program, as a user's copy has them.
printf '[Options]\r\nIsDebug=0\r\n[Services]\r\nFileStoreUrl=http://127.0.0.1:%s\r\nVersionHost=127.0.0.1\r\nVersionPort=%s\r\n' \
  "$STORE_PORT" "$VER_PORT" > "$PROGRAM_DIR/OVUpdata.ini"

status=0
if [ "${1:-}" != "--cli" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$WINDOW" ]; then
  cp "$WINDOW" "$PROGRAM_DIR/OVOnlineSetup"
  echo "demo: opening the installer window"
  "$PROGRAM_DIR/OVOnlineSetup" || status=$?
else
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: no display here; running the same install unattended with ovinst"
  fi
  cp "$BIN/src/cli/ovinst" "$PROGRAM_DIR/ovinst"
  "$PROGRAM_DIR/ovinst" --modules web,pos --dir 'C:\Ondrevo\Ketrin' --lang EN || status=$?
fi

stop_standin
# The services the install started are supervised from this prefix; a demo leaves none behind.
for control in "$OV_PREFIX"/services/*/supervise/control; do
  [ -p "$control" ] && timeout 2 sh -c 'printf dx > "$1"' _ "$control" 2>/dev/null || true
done
if [ -s "$OV_PREFIX/runsvdir.pid" ]; then
  kill -HUP "$(head -n1 "$OV_PREFIX/runsvdir.pid" | tr -dc 0-9)" 2>/dev/null || true
fi
echo
echo "demo: the demo prefix is $OV_PREFIX"
echo "demo: C:\\ is $OV_PREFIX/drive_c; the ketrin modules went to"
echo "        $OV_PREFIX/drive_c/Ondrevo/Ketrin/Web"
echo "        $OV_PREFIX/drive_c/Ondrevo/Ketrin/Caldis"
echo "demo: desktop shortcuts in $XDG_DESKTOP_DIR, menu entries in $XDG_DATA_HOME/applications;"
echo "      the settings store and the logs are below $OV_PREFIX"
exit $status
