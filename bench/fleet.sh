#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The fleet check (make fleet-test): three tts-server replicas on loopback
# behind HAProxy (deploy/haproxy.cfg, on ports of this run), under load
# from wrk, twice:
#   1. one replica gets SIGTERM mid-run: no request may fail, and it answers
#      the work it held (its access log grows after the signal) and exits 0;
#   2. one gets SIGKILL mid-run: only the requests it held may fail (at most
#      its workers and queue places, 2 + 4), and none at the socket. The
#      requests ask for wav, whose short answers are whole before their
#      first byte; a streamed format (mp3, pcm, ...) whose replica dies
#      mid-answer reaches the client cut short, as any stream would.
# Each run must serve at least 100 requests, and the signalled replica must
# have answered some speech before its signal. Exits 1 when a check fails.
#   bench/fleet.sh [BUILD_DIR]      (needs haproxy and wrk: install-deps.sh ci or bench)
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

start_replica() {  # index; sets r<index> to the pid, a child of this shell so that wait sees its status
  "$build/bin/tts-server" --listen "127.0.0.1:$((base + $1))" --workers 2 --queue 4 --access-log > /dev/null 2> "$work/server$1.log" &
  eval "r$1=$!"
}

cat > "$work/post.lua" <<'EOF'
wrk.method = "POST"
wrk.body = '{"input": "你好，欢迎使用离线语音合成。", "response_format": "wav"}'
wrk.headers["Content-Type"] = "application/json"
EOF

# run NAME SIGNAL: a fresh fleet, 20 s of load, SIGNAL to replica 1 after 6 s.
run() {
  name=$1 sig=$2
  start_replica 1
  start_replica 2
  start_replica 3
  haproxy -f "$work/haproxy.cfg" -db > "$work/haproxy.log" 2>&1 &
  hp=$!
  pids="$r1 $r2 $r3 $hp"
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$front/healthz" && break; sleep 0.1; done
  sleep 1.5  # the health checks have seen every replica up
  wrk -t 2 -c 8 -d 20s -s "$work/post.lua" "http://127.0.0.1:$front/v1/audio/speech" > "$work/wrk.log" 2>&1 &
  load=$!
  sleep 6
  served_before=$(curl -s "http://127.0.0.1:$((base + 1))/metrics" |
    sed -n 's|^tts_requests_total{protocol="http",route="/v1/audio/speech",status="200"} \([0-9]*\)$|\1|p')
  answered_before=$(grep -c '"POST /v1/audio/speech" 200 ' "$work/server1.log" || true)
  kill "-$sig" "$r1"
  r1_status=0
  wait "$r1" || r1_status=$?
  answered_after=$(( $(grep -c '"POST /v1/audio/speech" 200 ' "$work/server1.log" || true) - answered_before ))
  wait "$load" || true
  total=$(sed -n 's/^ *\([0-9]*\) requests in.*/\1/p' "$work/wrk.log")
  bad=$(sed -n 's/^ *Non-2xx or 3xx responses: *\([0-9]*\).*/\1/p' "$work/wrk.log")
  errors=$(sed -n 's/^ *Socket errors: \(.*\)/\1/p' "$work/wrk.log")
  echo "$name: $total requests, ${bad:-0} not 2xx, socket errors: ${errors:-none};" \
    "the replica had served ${served_before:-0}, answered $answered_after after the signal and exited with $r1_status"
  for p in $pids; do kill -9 "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  pids=""
  eval "${name}_total=${total:-0} ${name}_bad=${bad:-0} ${name}_served=${served_before:-0} ${name}_status=$r1_status ${name}_after=$answered_after"
  eval "${name}_errors='${errors:-}'"
}

ok=yes
check() {  # what, then the test
  what=$1
  shift
  "$@" || { echo "fleet: FAILED: $what" >&2; ok=no; }
}

run sigterm TERM
run sigkill KILL
for run in sigterm sigkill; do
  eval "total=\$${run}_total served=\$${run}_served"
  check "$run: at least 100 requests served ($total)" [ "$total" -ge 100 ]
  check "$run: the replica served speech before its signal ($served)" [ "$served" -gt 0 ]
done
check "sigterm: no request failed ($sigterm_bad)" [ "$sigterm_bad" -eq 0 ]
check "sigterm: no socket error ($sigterm_errors)" [ -z "$sigterm_errors" ]
check "sigterm: the replica finished the work it held ($sigterm_after answered after the signal)" [ "$sigterm_after" -gt 0 ]
check "sigterm: the replica exited 0 ($sigterm_status)" [ "$sigterm_status" -eq 0 ]
check "sigkill: at most the 6 requests the replica held failed ($sigkill_bad)" [ "$sigkill_bad" -le 6 ]
check "sigkill: no socket error ($sigkill_errors)" [ -z "$sigkill_errors" ]
check "sigkill: the replica was killed ($sigkill_status)" [ "$sigkill_status" -eq 137 ]
if [ $ok = yes ]; then echo "fleet: SIGTERM lost no request; SIGKILL lost only what the replica held"; else
  exit 1; fi
