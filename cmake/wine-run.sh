#!/bin/sh
# Runs a Windows program of the cross build under Wine. Each test is a program of its own, so
# the Wine server and the prefix's own services are started once, detached from the test's
# output (ctest would wait for every process that holds it open), and kept for a minute after
# the last program ends; a cold start costs seconds.
: "${WINEDEBUG:=-all}"
export WINEDEBUG
[ -n "$WINEPREFIX" ] && export WINEPREFIX
prefix=${WINEPREFIX:-$HOME/.wine}
mkdir -p "$prefix"
# A prefix's server works in a folder named after the prefix's device and inode.
key=server-$(stat -c %D "$prefix")-$(printf '%x' "$(stat -c %i "$prefix")")
running=
for pid in $(pgrep -x wineserver64); do
  case "$(readlink "/proc/$pid/cwd")" in */"$key") running=1 ;; esac
done
if [ -z "$running" ]; then
  /usr/lib/wine/wineserver -p60 </dev/null >/dev/null 2>&1
  /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
fi
exec /usr/lib/wine/wine64 "$@"
