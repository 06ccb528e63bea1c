#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# tts-server started by socket activation serves on the sockets it is given,
# not on --listen: HTTP on one, Wyoming on the one named "wyoming". Skipped
# (77) without systemd-socket-activate.
set -eu
server=$1
command -v systemd-socket-activate >/dev/null 2>&1 || { echo "no systemd-socket-activate"; exit 77; }
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(free_port)
wport=$(free_port)
log=$(mktemp)
systemd-socket-activate -l "127.0.0.1:$port" -l "127.0.0.1:$wport" --fdname=http:wyoming \
  "$server" --listen 127.0.0.1:1 2>"$log" &
pid=$!
trap 'kill $pid 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 50); do grep -q "Listening on" "$log" && break; sleep 0.1; done
answer=$(curl -sS --max-time 10 "http://127.0.0.1:$port/healthz")
[ "$answer" = '{"status":"ok"}' ] || { echo "healthz said: $answer"; cat "$log"; exit 1; }
# A Wyoming describe: one header line out, an info header line back.
info=$(python3 -c '
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
s.sendall(b"{\"type\": \"describe\"}\n")
print(s.makefile("rb").readline().decode()[:30])' "$wport")
case $info in '{"data":{"tts":'*) ;; *) echo "describe got: $info"; cat "$log"; exit 1 ;; esac
grep -q "tts-server: listening on http://127.0.0.1:$port" "$log" || { cat "$log"; exit 1; }
grep -q "tts-server: wyoming on tcp://127.0.0.1:$wport" "$log" || { cat "$log"; exit 1; }
kill -TERM $pid
wait $pid || { echo "exit status $?"; cat "$log"; exit 1; }
echo "socket activation works"
