#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Three tts-server replicas on loopback behind HAProxy (deploy/haproxy.cfg,
# on ports of this run), under load from wrk:
#   1. one replica gets SIGTERM mid-run: no request may fail;
#   2. another gets SIGKILL mid-run: only the requests it held may fail
#      (at most its workers and queue places, 2 + 4).
#   bench/fleet.sh [BUILD_DIR]      (needs haproxy and wrk: install-deps.sh bench)
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$src/build}" && pwd)
for tool in haproxy wrk curl; do
  command -v $tool >/dev/null 2>&1 || { echo "fleet: $tool is needed (scripts/install-deps.sh bench)" >&2; exit 1; }
done
work=$(mktemp -d /tmp/tts-fleet-XXXXXX)
pids=""
cleanup() {
  for p in $pids; do kill -9 "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

base=$(( 20000 + $$ % 20000 ))
front=$base
sed -e "s/127.0.0.1:5600/127.0.0.1:$front/" -e "s/127.0.0.1:5501/127.0.0.1:$((base + 1))/" \
  -e "s/127.0.0.1:5502/127.0.0.1:$((base + 2))/" -e "s/127.0.0.1:5503/127.0.0.1:$((base + 3))/" \
  "$src/deploy/haproxy.cfg" > "$work/haproxy.cfg"

start_replica() {  # index; prints the pid
  "$build/bin/tts-server" --listen "127.0.0.1:$((base + $1))" --workers 2 --queue 4 > /dev/null 2> "$work/server$1.log" &
  echo $!
}

cat > "$work/post.lua" <<'EOF'
wrk.method = "POST"
wrk.body = '{"input": "你好，欢迎使用离线语音合成。"}'
wrk.headers["Content-Type"] = "application/json"
EOF

# run NAME SIGNAL: a fresh fleet, 20 s of load, SIGNAL to replica 1 after 6 s.
run() {
  name=$1 sig=$2
  r1=$(start_replica 1) r2=$(start_replica 2) r3=$(start_replica 3)
  haproxy -f "$work/haproxy.cfg" -db > "$work/haproxy.log" 2>&1 &
  hp=$!
  pids="$r1 $r2 $r3 $hp"
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$front/healthz" && break; sleep 0.1; done
  sleep 1.5  # the health checks have seen every replica up
  wrk -t 2 -c 8 -d 20s -s "$work/post.lua" "http://127.0.0.1:$front/v1/audio/speech" > "$work/wrk.log" 2>&1 &
  load=$!
  sleep 6
  kill "-$sig" "$r1"
  wait "$load" || true
  total=$(sed -n 's/^ *\([0-9]*\) requests in.*/\1/p' "$work/wrk.log")
  bad=$(sed -n 's/^ *Non-2xx or 3xx responses: *\([0-9]*\).*/\1/p' "$work/wrk.log")
  errors=$(sed -n 's/^ *Socket errors: \(.*\)/\1/p' "$work/wrk.log")
  echo "$name: $total requests, ${bad:-0} not 2xx, socket errors: ${errors:-none}"
  for p in $pids; do kill -9 "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  pids=""
  eval "${name}_bad=${bad:-0}"
  eval "${name}_errors='${errors:-}'"
}

run sigterm TERM
run sigkill KILL
ok=yes
[ "$sigterm_bad" -eq 0 ] && [ -z "$sigterm_errors" ] || ok=no
[ "$sigkill_bad" -le 6 ] || ok=no
if [ $ok = yes ]; then echo "fleet: SIGTERM lost no request; SIGKILL lost only what the replica held"; else
  echo "fleet: a target was missed"; exit 1; fi
