#!/usr/bin/env bash
# Records a session: starts `kiv serve --record OUT` over WORLD (default:
# worlds/default.json),
# runs the walk (a bash file of c/sim/settle lines, see below) against it,
# and stops the host. What each request answered goes to OUT.log for a
# person to read. Check the recording with: kiv replay OUT.
#
#   tests/sessions/record.sh tests/sessions/readme_walk.sh tests/sessions/readme_walk.jsonl [WORLD]
#
# KIV names the kiv program (default build/test/tools/kiv).
set -euo pipefail
walk=$1
out=$2
world=${3:-worlds/default.json}
kiv=${KIV:-build/test/tools/kiv}
log=$out.log
: >"$log"
dir=$(mktemp -d)
"$kiv" serve --port 0 --quiet --world "$world" --record "$out" >"$dir/serve.out" 2>&1 &
server=$!
trap 'kill -INT $server 2>/dev/null || true; rm -rf "$dir"' EXIT
for _ in $(seq 600); do
  grep -q "serving on" "$dir/serve.out" && break
  sleep 0.1
done
port=$(sed -n 's/.*serving on http:\/\/127\.0\.0\.1:\([0-9]*\).*/\1/p' "$dir/serve.out")
[ -n "$port" ] || { cat "$dir/serve.out"; exit 1; }
BASE=http://127.0.0.1:$port

# c METHOD PATH [BODY]: one request; its status and body go to the log.
c() {
  local args=(-s -o "$dir/body" -w '%{http_code}' -X "$1" "$BASE$2")
  [ $# -ge 3 ] && args+=(-H 'Content-Type: application/json' --data-binary "$3")
  local status
  status=$(curl "${args[@]}")
  printf '%s %s -> %s %s\n' "$1" "$2" "$status" "$(head -c 300 "$dir/body")" >>"$log"
}
# body PATH: the body of a GET, for a later write.
body() { curl -s "$BASE$1"; }
# sim NAME [BODY]: a /sim control.
sim() { if [ $# -ge 2 ]; then c POST "/sim/$1" "$2"; else c POST "/sim/$1"; fi; }
# settle: waits until the host has no queued work and no open wait, so what
# a control started is done before the next request.
settle() {
  local quiet=0
  while [ $quiet -lt 3 ]; do
    if curl -s "$BASE/sim/status" | grep -q '"waitingFor":\[\],"queuedWork":0'; then
      quiet=$((quiet + 1))
    else
      quiet=0
    fi
    sleep 0.02
  done
}

settle
# shellcheck source=/dev/null
source "$walk"
settle
kill -INT $server
wait $server
trap 'rm -rf "$dir"' EXIT
echo "recorded $(wc -l <"$out") lines in $out ($log has the answers)"
