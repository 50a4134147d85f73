# shellcheck shell=bash disable=SC2034  # the variables are for the scripts that source this
# Shared by the scripts that fill the Windows build's cache (win-deps.sh, win-qt.sh): where the
# cache is, the apt configuration of our own for `apt-get source`, and the per-version stamps.
# Sourced from the tree's root, with set -euo pipefail in force.
SRC_DIR=$PWD

CACHE=${OV_WIN_CACHE:-$HOME/.cache/ovwin}
ROOT=$CACHE/root
STAMPS=$ROOT/stamps
WORK=$CACHE/work
TRIPLE=x86_64-w64-mingw32
TOOLCHAIN=$SRC_DIR/cmake/mingw-w64.cmake
JOBS=${JOBS:-2}

log() { echo "$(basename "$0" .sh): $*"; }

# Installs those of the named packages that are missing.
install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  log "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Source package and version behind an installed (or installable) binary package.
source_of() {
  local info src ver
  info=$(apt-cache show --no-all-versions "$1" 2>/dev/null)
  ver=$(sed -n 's/^Version: //p' <<<"$info" | head -n1)
  src=$(sed -n 's/^Source: //p' <<<"$info" | head -n1)
  if [ -z "$src" ]; then
    src=$(sed -n 's/^Package: //p' <<<"$info" | head -n1)
  elif [[ $src == *"("* ]]; then
    ver=${src#*(}; ver=${ver%)}; src=${src%% *}
  fi
  echo "$src $ver"
}

# apt configuration of our own: the machine's archives as source entries, lists in the cache.
APT_CONF=$CACHE/apt/apt.conf
apt_setup() {
  [ -f "$APT_CONF" ] && [ -n "$(find "$CACHE/apt/lists" -name '*Sources*' -mmin -1440 2>/dev/null)" ] &&
    return 0
  mkdir -p "$CACHE/apt/lists/partial" "$CACHE/apt/parts" "$CACHE/apt/archives/partial"
  local list=$CACHE/apt/sources.list
  : >"$list"
  # deb822 files: every "Types: deb" stanza becomes a deb-src line per suite.
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && uris != "")
          for (i = 1; i <= ns; i++) print "deb-src" signed " " uris " " suites[i] " " comps
        types = ""; uris = ""; ns = 0; comps = ""; signed = ""
      }
      /^[[:space:]]*$/ { flush(); next }
      /^Types:/ { $1 = ""; types = substr($0, 2) }
      /^URIs:/ { uris = $2 }
      /^Suites:/ { for (i = 2; i <= NF; i++) suites[++ns] = $i }
      /^Components:/ { $1 = ""; comps = substr($0, 2) }
      /^Signed-By:/ { signed = " [signed-by=" $2 "]" }
      END { flush() }' "$f" >>"$list"
  done
  # one-line files
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^deb \(.*\)$/deb-src \1/p' "$f" >>"$list"
  done
  [ -s "$list" ] || { log "no Debian archive found in /etc/apt"; exit 1; }
  cat >"$APT_CONF" <<EOF
Dir::Etc::SourceList "$list";
Dir::Etc::SourceParts "$CACHE/apt/parts";
Dir::State::Lists "$CACHE/apt/lists";
Dir::Cache::Archives "$CACHE/apt/archives";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
APT::Sandbox::User "root";
EOF
  log "reading the archives' source lists"
  apt-get -c "$APT_CONF" update -qq
}

# Unpacks source package $1 at version $2 (falling back to the release suite's version when
# the archive no longer serves that one) below $WORK; prints the unpacked folder.
fetch_source() {
  local src=$1 ver=$2 dir
  apt_setup >&2
  rm -rf "$WORK/$src" && mkdir -p "$WORK/$src"
  (
    cd "$WORK/$src"
    if ! apt-get -c "$APT_CONF" source -qq "$src=$ver" >/dev/null 2>&1; then
      local suite
      suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
      log "$src $ver is not served; taking $src/$suite" >&2
      apt-get -c "$APT_CONF" source -qq "$src/$suite" >/dev/null
    fi
  )
  dir=$(find "$WORK/$src" -mindepth 1 -maxdepth 1 -type d | head -n1)
  [ -n "$dir" ] || { log "no source unpacked for $src"; exit 1; }
  echo "$dir"
}

stamped() { [ -f "$STAMPS/$1" ]; }
stamp() { mkdir -p "$STAMPS" && echo "$2" >"$STAMPS/$1"; }
