#!/usr/bin/env bash
# Whole installs through ovinst against the stand-in, on (a) 2,000 files of 20 KiB and (b) 8
# files of 64 MiB, each published once as an update-descriptor module (ketrin Web) and once as
# a version-server module (ketrin Caldis), measured against two baselines on the same data and
# server:
#   B1  what a user would do by hand: one curl process fetching every file over one reused
#       connection, md5sum -c, cp -r;
#   B2  the protocol's floor: one curl process making exactly the requests the installer made
#       (its request log, replayed in order on one reused connection), md5sum -c, cp -r;
#   B2/4  the same requests dealt file by file to four curl processes at once, as --jobs 4
#       spreads them: what those requests cost any client on this machine's cores.
# ovinst runs twice: with --jobs 1 (one download at a time, as the window does by default) and
# with --jobs 4 (files downloaded ahead of the walk). B2 replays the --jobs 1 run's requests.
# Prints wall times, the ratios, requests per file and ovinst's peak resident memory.
# Usage: bench/install.sh [build dir]   (default build/dev)   ROUNDS=n (default 3, medians)
#   SETS="a b", KINDS="xml ver" pick the cases; KEEP=1 keeps the work folder and its logs.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build/dev}
INST="$BUILD/src/cli/ovinst"
STANDIN="$BUILD/tools/standin/ovstandin"
PUBLISH="$BUILD/tools/standin/ovpublish"
for b in "$INST" "$STANDIN" "$PUBLISH"; do [ -x "$b" ] || { echo "build first ($b)" >&2; exit 1; }; done
ROUNDS=${ROUNDS:-3}
WORK=$(mktemp -d)
STANDIN_PID=""
cleanup() {
  [ -n "$STANDIN_PID" ] && kill "$STANDIN_PID" 2>/dev/null || true
  if [ -n "${KEEP:-}" ]; then echo "kept $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

mkdir -p "$WORK/src/a" "$WORK/src/b" "$WORK/store"
for i in $(seq 1 2000); do head -c 20480 /dev/urandom > "$WORK/src/a/f$i.bin"; done
for i in $(seq 1 8); do head -c $((64 << 20)) /dev/urandom > "$WORK/src/b/g$i.bin"; done
sync

# One store, four modules: the descriptor folders and versions of both data sets.
CAT="$WORK/catalogue.json"
"$PUBLISH" folder --source "$WORK/src/a" --store "$WORK/store" --folder xml/a --module Web >/dev/null
"$PUBLISH" folder --source "$WORK/src/b" --store "$WORK/store" --folder xml/b --module Web >/dev/null
"$PUBLISH" version --source "$WORK/src/a" --store "$WORK/store" --folder ver/a --catalogue "$CAT" \
  --item-id 80001888 --pos-type 61063 --ver-no 1.0.1 --file-id 101 >/dev/null
cp "$CAT" "$WORK/catalogue.a.json"
"$PUBLISH" version --source "$WORK/src/b" --store "$WORK/store" --folder ver/b --catalogue "$CAT" \
  --item-id 80001888 --pos-type 61063 --ver-no 1.0.2 --file-id 102 >/dev/null
cp "$CAT" "$WORK/catalogue.b.json"
# The files of each data set as the store serves them, for the baselines.
(cd "$WORK/src/a" && md5sum ./*) > "$WORK/a.md5"
(cd "$WORK/src/b" && md5sum ./*) > "$WORK/b.md5"

"$STANDIN" --root "$WORK/store" --catalogue "$CAT" --version-port 0 --platform-port off \
  --ready-file "$WORK/ready" >/dev/null 2>"$WORK/standin.err" &
STANDIN_PID=$!
for _ in $(seq 1 200); do [ -s "$WORK/ready" ] && break; sleep 0.05; done
STORE_PORT=$(sed -n 's/file_store_port=//p' "$WORK/ready")
VER_PORT=$(sed -n 's/version_server_port=//p' "$WORK/ready")
[ -n "$STORE_PORT" ] && [ -n "$VER_PORT" ] || { cat "$WORK/standin.err" >&2; exit 1; }
BASE="http://127.0.0.1:$STORE_PORT"

now() { date +%s.%N; }
# Every run writes into a folder of its own. Small-file folders stay to the end: ext4 keeps the
# inodes of files deleted in the last minutes from reuse, so creating files right after many
# deletions is slower, and a deletion before one contender would tax only that one. The large
# sets are few files and are deleted after each run.
fresh_dir() { mkdir -p "$WORK/out"; mktemp -d "$WORK/out/run.XXXXXX"; }
secs() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.3f", b-a}'; }
median() { tr ' ' '\n' | grep . | sort -g | awk '{v[NR]=$1} END{print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
store_log() { curl -s "$BASE/_control/log"; }
clear_log() { curl -sf -d "" "$BASE/_control/log/clear" >/dev/null; }

# A fresh prefix with ovinst in its program folder, pointed at the stand-in, for one module
# kind: the descriptor folder or the version file (the catalogue is switched by copying).
# Prints "seconds peak_kib requests files"; the request log of a --jobs 1 run is kept for B2.
install_run() {  # set kind jobs
  local set=$1 kind=$2 jobs=$3 run
  run=$(fresh_dir)
  mkdir -p "$run/prefix/drive_c/OVBench"
  export OV_PREFIX="$run/prefix"
  cp "$INST" "$run/prefix/drive_c/OVBench/ovinst"
  printf '[Options]\r\nIsDebug=0\r\n[Services]\r\nFileStoreUrl=%s\r\nVersionHost=127.0.0.1\r\nVersionPort=%s\r\n' \
    "$BASE" "$VER_PORT" > "$run/prefix/drive_c/OVBench/OVUpdata.ini"
  local modules=web
  if [ "$kind" = ver ]; then
    modules=pos
    cp "$WORK/catalogue.$set.json" "$CAT"
  else
    # The product's web address is fixed; the descriptor folder of the set is put there.
    rm -rf "$WORK/store/updatefiles/ketrin_webapp"; mkdir -p "$WORK/store/updatefiles"
    cp -al "$WORK/store/xml/$set" "$WORK/store/updatefiles/ketrin_webapp"
  fi
  clear_log
  sync
  local t0 t1
  t0=$(now)
  /usr/bin/time -f '%M' -o "$run/rss" "$run/prefix/drive_c/OVBench/ovinst" --modules "$modules" \
    --dir 'C:\Bench' --jobs "$jobs" >/dev/null 2>"$run/err" || { cat "$run/err" >&2; exit 1; }
  t1=$(now)
  local files requests log="$WORK/log.$set.$kind.j$jobs.json"
  store_log > "$log"
  files=$(ls "$WORK/src/$set" | wc -l)
  requests=$(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))))' "$log")
  echo "$(secs "$t0" "$t1") $(cat "$run/rss") $requests $files"
  [ "$set" = b ] && rm -rf "$run"
  return 0
}

# md5sum -c and cp -r of a download folder; shared by both baselines.
check_and_copy() {  # set dir
  (cd "$2" && md5sum --quiet -c "$WORK/$1.md5")
  cp -r "$2" "$2.copy"
}

b1_run() {  # set kind
  local set=$1 kind=$2 dir cfg="$WORK/b1.cfg" prefix=xml
  dir=$(fresh_dir)/b1; mkdir -p "$dir"; : > "$cfg"
  [ "$kind" = ver ] && prefix=ver
  for f in "$WORK/src/$set"/*; do
    printf 'url = "%s/%s/%s/%s"\noutput = "%s/%s"\n' "$BASE" "$prefix" "$set" "${f##*/}" "$dir" "${f##*/}" >> "$cfg"
  done
  sync
  local t0 t1; t0=$(now)
  curl -s -K "$cfg"
  check_and_copy "$set" "$dir"
  t1=$(now)
  secs "$t0" "$t1"
  [ "$set" = b ] && rm -rf "$(dirname "$dir")"
  return 0
}

# Replays the installer's request log: HEADs as HEADs, ranges as ranges, bodies of the data
# files into the folder (a ranged answer appends, as a resumed download does). With a third
# argument n > 1 the requests are dealt round-robin to n curl processes running at once (B2/n:
# what the same requests cost a client that spreads them over n connections, as --jobs does).
b2_run() {  # set kind [n]
  local set=$1 kind=$2 n=${3:-1} dir cfg="$WORK/b2.cfg" k
  dir=$(fresh_dir)/b2; mkdir -p "$dir"
  for k in $(seq 0 $((n - 1))); do
  python3 - "$WORK/log.$set.$kind.j1.json" "$BASE" "$dir" "$n" "$k" > "$cfg.$k" <<'PY'
import json, sys, os
log, base, out = json.load(open(sys.argv[1])), sys.argv[2], sys.argv[3]
n, k = int(sys.argv[4]), int(sys.argv[5])
# A file's requests stay together and in order, on one connection.
files = []
for e in log:
    if not files or os.path.basename(e["path"]).replace(".zip", "") != files[-1][0]:
        files.append((os.path.basename(e["path"]).replace(".zip", ""), []))
    files[-1][1].append(e)
log = [e for i, (_, es) in enumerate(files) if i % n == k for e in es]
first = True
for e in log:
    if not first:
        print("next")
    first = False
    print('url = "%s%s"' % (base, e["path"]))
    if e["method"] == "HEAD" or e["status"] >= 400:
        if e["method"] == "HEAD":
            print("head")
        print('output = "/dev/null"')
        continue
    if e.get("range"):
        print('range = "%s"' % e["range"].replace("bytes=", ""))
    name = os.path.basename(e["path"])
    print('output = "%s/%s"' % (out, name))
PY
  done
  sync
  local t0 t1; t0=$(now)
  for k in $(seq 0 $((n - 1))); do curl -s -K "$cfg.$k" & done
  wait || true
  check_and_copy "$set" "$dir"
  t1=$(now)
  secs "$t0" "$t1"
  [ "$set" = b ] && rm -rf "$(dirname "$dir")"
  return 0
}

echo "ovinst against the stand-in, $ROUNDS rounds, medians:"
for set in ${SETS:-a b}; do
  for kind in ${KINDS:-xml ver}; do
    o1s=""; o4s=""; b1s=""; b2s=""; b24s=""; rss=0; req=0; files=0
    for r in $(seq 1 "$ROUNDS"); do
      # The order turns each round, so each contender follows each other one as often.
      order=(o1 o4 b1 b2 b24)
      for who in "${order[@]:$((r % 5))}" "${order[@]:0:$((r % 5))}"; do
        case $who in
          o1|o4) read -r t m q f < <(install_run "$set" "$kind" "${who#o}")
                 [ "$who" = o1 ] && o1s+="$t " || o4s+="$t "
                 [ "$m" -gt "$rss" ] && rss=$m; req=$q; files=$f ;;
          b1) b1s+="$(b1_run "$set" "$kind") " ;;
          b2) [ -s "$WORK/log.$set.$kind.j1.json" ] || install_run "$set" "$kind" 1 >/dev/null
              b2s+="$(b2_run "$set" "$kind") " ;;
          b24) [ -s "$WORK/log.$set.$kind.j1.json" ] || install_run "$set" "$kind" 1 >/dev/null
              b24s+="$(b2_run "$set" "$kind" 4) " ;;
        esac
      done
    done
    o1=$(echo $o1s | median); o4=$(echo $o4s | median)
    b1=$(echo $b1s | median); b2=$(echo $b2s | median); b24=$(echo $b24s | median)
    label="(a) 2000 x 20 KiB"; [ "$set" = b ] && label="(b) 8 x 64 MiB   "
    awk -v l="$label" -v k="$kind" -v o1="$o1" -v o4="$o4" -v b1="$b1" -v b2="$b2" -v b24="$b24" \
        -v q="$req" -v f="$files" -v m="$rss" -v set="$set" 'BEGIN{
      goal = (set == "a") ? "jobs 4 <= 1.0 B1 and <= 0.8 B2" : "jobs 4 <= jobs 1"
      printf "%s %-3s: jobs 1 %.3f s, jobs 4 %.3f s, B1 %.3f s, B2 %.3f s, B2/4 %.3f s; jobs 4 to B1 %.2f, to B2 %.2f, to B2/4 %.2f, to jobs 1 %.2f (goal %s); %.2f requests/file; peak RSS %.1f MiB (goal < 100)\n",
        l, k, o1, o4, b1, b2, b24, o4/b1, o4/b2, o4/b24, o4/o1, goal, q/f, m/1024 }'
  done
done
