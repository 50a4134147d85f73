#!/bin/sh
# Runs a Windows program of the cross build under Wine. Each test is a program of its own, so
# the Wine server and the prefix's own services are started once, detached from the test's
# output (ctest would wait for every process that holds it open), and kept for a minute after
# the last program ends; a cold start costs seconds.
: "${WINEDEBUG:=-all}"
# No menu entries on the Linux desktop for the shortcuts the tests make.
: "${WINEDLLOVERRIDES:=winemenubuilder.exe=d}"
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
