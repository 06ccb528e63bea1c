#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The shipped systemd units pass systemd-analyze verify, with ExecStart
# pointed at the built server (its man page is not installed yet, so not
# looked for). Skipped (77) without systemd-analyze.
set -eu
units=$1 server=$2
command -v systemd-analyze >/dev/null 2>&1 || { echo "no systemd-analyze"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$units/tts-server.socket" "$units/tts-server-wyoming.socket" "$dir/"
sed "s#^ExecStart=/usr/bin/tts-server#ExecStart=$server#" "$units/tts-server.service" > "$dir/tts-server.service"
grep -q "^ExecStart=$server" "$dir/tts-server.service"
out=$(systemd-analyze verify --man=no "$dir/tts-server.socket" "$dir/tts-server-wyoming.socket" "$dir/tts-server.service" 2>&1) || { echo "$out"; exit 1; }
# verify also only warns about some mistakes: none may be left.
if echo "$out" | grep -q "tts-server"; then echo "$out"; exit 1; fi
for key in DynamicUser=yes ProtectSystem=strict NoNewPrivileges=yes; do
  grep -qx "$key" "$dir/tts-server.service" || { echo "missing $key"; exit 1; }
done
echo "units verified"
