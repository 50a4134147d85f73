#!/usr/bin/env bash
# Downloads through TNetHTTP against the stand-in file store, and the curl command line against
# the same server (one process, one reused connection), on 2,000 files of 20 KiB and 8 files of
# 64 MiB. Also curl against nginx on the same files, to show the stand-in is no bottleneck.
# Usage: bench/download.sh [build dir]   (default build/dev; installs nginx-light when missing)
# ROUNDS=n (default 3) repeats both cases, TNetHTTP first in odd rounds and curl first in even
# ones; every round is printed and the goal lines use the medians. Each run writes into a fresh
# folder (a client that finds its files from an earlier run has other work to do), small files
# are kept to the end (a file system that avoids reusing the inodes of files deleted a moment
# ago slows down whichever run comes right after a deletion), large ones are deleted after each
# pair, and dirty data is flushed before each run, so no run pays for the writes of another.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build/dev}
BIN="$BUILD/bench/bench_download"
STANDIN="$BUILD/tools/standin/ovstandin"
[ -x "$BIN" ] && [ -x "$STANDIN" ] || { echo "build first" >&2; exit 1; }
if ! command -v nginx >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq nginx-light >/dev/null 2>&1 || true
fi
WORK=$(mktemp -d)
NGINX_PID=""; STANDIN_PID=""
cleanup() {
  [ -n "$STANDIN_PID" ] && kill "$STANDIN_PID" 2>/dev/null || true
  [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
export OV_PREFIX="$WORK/prefix"
ROOT="$WORK/root"
ROUNDS=${ROUNDS:-3}
mkdir -p "$ROOT/small" "$ROOT/large" "$WORK/out"
for i in $(seq 1 2000); do head -c 20480 /dev/urandom > "$ROOT/small/f$i.bin"; done
for i in $(seq 1 8); do head -c $((64 << 20)) /dev/urandom > "$ROOT/large/g$i.bin"; done
(cd "$ROOT" && ls small | sed 's|^|/small/|') > "$WORK/small.list"
(cd "$ROOT" && ls large | sed 's|^|/large/|') > "$WORK/large.list"
cat "$ROOT"/large/* > /dev/null
# The inputs just written are flushed now, so their write-back does not fall into a timed run.
sync

"$STANDIN" --root "$ROOT" --ready-file "$WORK/ready" > /dev/null &
STANDIN_PID=$!
for _ in $(seq 1 100); do [ -s "$WORK/ready" ] && break; sleep 0.05; done
PORT=$(sed -n 's/file_store_port=//p' "$WORK/ready")
BASE="http://127.0.0.1:$PORT"

now() { date +%s.%N; }
fresh_dir() { mkdir -p "$WORK/out/$1"; mktemp -d "$WORK/out/$1/run.XXXXXX"; }
curl_run() {  # base list case -> seconds
  local dir cfg="$WORK/curl.cfg"; dir=$(fresh_dir "$3"); : > "$cfg"
  while read -r p; do printf 'url = "%s%s"\noutput = "%s/c_%s"\n' "$1" "$p" "$dir" "${p##*/}" >> "$cfg"; done < "$2"
  sync
  local t0; t0=$(now); curl -s -K "$cfg"; local t1; t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.3f", b-a}'
}
ov_run() {  # base list case -> seconds
  local dir; dir=$(fresh_dir "$3")
  sync
  "$BIN" "$1" "$2" "$dir" | sed -n 's/.*seconds=\([0-9.]*\).*/\1/p'
}
# Both clients on one case, in the order of the round; prints "tnethttp curl".
pair() {  # base case round
  local o c list="$WORK/$2.list"
  if [ $(($3 % 2)) -eq 1 ]; then o=$(ov_run "$1" "$list" "$2"); c=$(curl_run "$1" "$list" "$2")
  else c=$(curl_run "$1" "$list" "$2"); o=$(ov_run "$1" "$list" "$2"); fi
  [ "$2" = large ] && rm -rf "$WORK/out/large"
  echo "$o $c"
}
median() { tr ' ' '\n' | sort -g | awk '{v[NR]=$1} END{print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

small_ratios=""; large_ratios=""; ov_smalls=""; curl_smalls=""; ov_larges=""; curl_larges=""
for r in $(seq 1 "$ROUNDS"); do
  read -r os cs < <(pair "$BASE" small "$r")
  read -r ol cl < <(pair "$BASE" large "$r")
  awk -v r="$r" -v os="$os" -v cs="$cs" -v ol="$ol" -v cl="$cl" 'BEGIN{
    printf "round %d (%s first): small TNetHTTP %.3f s, curl %.3f s, ratio %.2f; large TNetHTTP %.3f s, curl %.3f s, throughput ratio %.2f\n",
      r, (r % 2) ? "TNetHTTP" : "curl", os, cs, os/cs, ol, cl, cl/ol }'
  small_ratios+="$(awk -v a="$os" -v b="$cs" 'BEGIN{print a/b}') "
  large_ratios+="$(awk -v a="$ol" -v b="$cl" 'BEGIN{print b/a}') "
  ov_smalls+="$os "; curl_smalls+="$cs "; ov_larges+="$ol "; curl_larges+="$cl "
done
ov_small=$(echo $ov_smalls | median); curl_small=$(echo $curl_smalls | median)
ov_large=$(echo $ov_larges | median); curl_large=$(echo $curl_larges | median)
small_ratio=$(echo $small_ratios | median); large_ratio=$(echo $large_ratios | median)

nginx_small="n/a"; nginx_large="n/a"
if command -v nginx >/dev/null; then
  NPORT=$((PORT + 1))
  mkdir -p "$WORK/nginx"
  cat > "$WORK/nginx/nginx.conf" <<CONF
daemon off; user root; worker_processes 1; pid $WORK/nginx/pid; error_log $WORK/nginx/error.log;
events { worker_connections 64; }
http { access_log off; sendfile on; keepalive_requests 100000;
  client_body_temp_path $WORK/nginx; proxy_temp_path $WORK/nginx; fastcgi_temp_path $WORK/nginx;
  uwsgi_temp_path $WORK/nginx; scgi_temp_path $WORK/nginx;
  server { listen 127.0.0.1:$NPORT; root $ROOT; } }
CONF
  nginx -c "$WORK/nginx/nginx.conf" -p "$WORK/nginx" &
  NGINX_PID=$!
  sleep 0.5
  nginx_small=$(curl_run "http://127.0.0.1:$NPORT" "$WORK/small.list" small)
  nginx_large=$(curl_run "http://127.0.0.1:$NPORT" "$WORK/large.list" large)
fi

awk -v os="$ov_small" -v cs="$curl_small" -v ol="$ov_large" -v cl="$curl_large" \
    -v sr="$small_ratio" -v lr="$large_ratio" -v n="$ROUNDS" \
    -v ns="$nginx_small" -v nl="$nginx_large" 'BEGIN{
  printf "medians of %d rounds:\n", n;
  printf "2000 x 20 KiB: TNetHTTP %.3f s, curl %.3f s, wall-time ratio %.2f (goal <= 2)\n", os, cs, sr;
  printf "8 x 64 MiB:    TNetHTTP %.3f s (%.0f MiB/s), curl %.3f s (%.0f MiB/s), throughput ratio %.2f (goal >= 0.8)\n", ol, 512/ol, cl, 512/cl, lr;
  if (ns != "n/a") printf "curl vs nginx: small %.3f s against stand-in %.3f s; large %.3f s against stand-in %.3f s\n", ns, cs, nl, cl;
}'
