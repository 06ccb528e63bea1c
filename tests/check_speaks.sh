#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Runs a host (stdin from /dev/null, since the library waits for a key) and
# checks that it exits 0 and leaves a WAV file with audio in it.
#   check_speaks.sh OUT.wav COMMAND [ARG...]
set -eu
out=$1
shift
rm -f "$out"
"$@" < /dev/null > "$out.log" 2>&1 || { cat "$out.log"; echo "FAIL: $* exited $?" >&2; exit 1; }
[ "$(head -c 4 "$out")" = RIFF ] || { echo "FAIL: $out is not a WAV file" >&2; exit 1; }
size=$(wc -c < "$out")
[ "$size" -gt 1044 ] || { echo "FAIL: $out holds no audio ($size bytes)" >&2; exit 1; }
grep -q '按任意键退出 ...' "$out.log" || { echo "FAIL: no closing prompt" >&2; exit 1; }
echo "ok: $out ($size bytes)"
