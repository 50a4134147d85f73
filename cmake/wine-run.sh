#!/bin/sh
# Runs a Windows program of the cross build under Wine. Each test is a program of its own, so
# the Wine server and the prefix's own services are started once, detached from the test's
# output (ctest would wait for every process that holds it open), and kept for a minute after
# the last program ends; a cold start costs seconds.
: "${WINEDEBUG:=-all}"
# No menu entries on the Linux desktop for the shortcuts the tests make.
: "${WINEDLLOVERRIDES:=winemenubuilder.exe=d;winedbg.exe=d}"
export WINEDEBUG WINEDLLOVERRIDES
[ -n "$WINEPREFIX" ] && export WINEPREFIX
prefix=${WINEPREFIX:-$HOME/.wine}
mkdir -p "$prefix"
# A prefix's server works in a folder named after the prefix's device and inode.
key=server-$(stat -c %D "$prefix")-$(printf '%x' "$(stat -c %i "$prefix")")
running=
for pid in $(pgrep -x wineserver64); do
  case "$(readlink "/proc/$pid/cwd")" in */"$key") running=1 ;; esac
done
# Every program gets a virtual display of the prefix's own, started with the first program and
# ended a while after the prefix's Wine server. Wine's desktop takes the display of the program
# that starts it, and windows on a desktop started without one go to Wine's null driver, where
# the window tests fail. OV_WINE_DISPLAY=none runs a program without a display.
if [ "${OV_WINE_DISPLAY:-xvfb}" = xvfb ] && command -v Xvfb >/dev/null; then
  state=$prefix/.xvfb
  display=$(cat "$state/display" 2>/dev/null || true)
  if [ -z "$display" ] || ! kill -0 "$(cat "$state/pid" 2>/dev/null || echo 0)" 2>/dev/null; then
    rm -rf "$state" && mkdir -p "$state"
    setsid sh -c '
      Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$1/display.new" >/dev/null 2>&1 &
      x=$!
      echo "$x" >"$1/pid"
      # Ends with the last Wine server started from a prefix of this user.
      sleep 90
      while pgrep -x wineserver64 >/dev/null; do sleep 15; done
      kill "$x"
    ' _ "$state" </dev/null >/dev/null 2>&1 &
    for _ in $(seq 1 100); do [ -s "$state/display.new" ] && break; sleep 0.1; done
    if ! mv "$state/display.new" "$state/display" 2>/dev/null; then
      echo "wine-run.sh: the virtual display (Xvfb) did not start" >&2
      exit 1
    fi
    display=$(cat "$state/display")
  fi
  DISPLAY=:$display
  export DISPLAY
  # Qt's default font under Wine is Tahoma, which a fresh prefix lacks (package fonts-wine).
  fonts=$prefix/drive_c/windows/Fonts
  if [ ! -f "$fonts/tahoma.ttf" ] && [ -f /usr/share/wine/fonts/tahoma.ttf ]; then
    mkdir -p "$fonts" && cp /usr/share/wine/fonts/tahoma*.ttf "$fonts/"
  fi
else
  unset DISPLAY
fi
if [ -z "$running" ]; then
  /usr/lib/wine/wineserver -p60 </dev/null >/dev/null 2>&1
  /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
  # Wine links the user's Desktop, Documents and the like to the Linux home; the shortcuts and
  # files of the tests stay inside the prefix instead.
  find "$prefix/drive_c/users" -type l 2>/dev/null | while read -r link; do
    rm -f "$link" && mkdir -p "$link"
  done
fi
exec /usr/lib/wine/wine64 "$@"
