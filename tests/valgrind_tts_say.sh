#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# tts-say under valgrind on a short and a long text: no memory errors, no
# definite or indirect leaks. The engine helper is a separate program and is
# not traced. Exits 77 (skipped) when valgrind is absent.
#   valgrind_tts_say.sh TTS_SAY
set -eu
tts_say=$1
command -v valgrind > /dev/null || { echo "valgrind not installed: skipped"; exit 77; }
work=$(mktemp -d /tmp/tts-valgrind-XXXXXX)
trap 'rm -rf "$work"' EXIT

printf '你好，世界。' > "$work/short.txt"
i=0
: > "$work/long.txt"
while [ $i -lt 200 ]; do
  printf '春天来了，山上的花都开了。小河里的冰融化了，河水哗哗地流着。' >> "$work/long.txt"
  i=$((i + 1))
done

for name in short long; do
  valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    --show-leak-kinds=definite,indirect --trace-children=no --quiet \
    "$tts_say" -o "$work/$name.wav" -f "$work/$name.txt" < /dev/null > "$work/$name.log" 2>&1 \
    || { cat "$work/$name.log"; echo "FAIL: valgrind found errors with the $name text" >&2; exit 1; }
  echo "ok: $name text ($(wc -c < "$work/$name.wav") bytes of WAV), no errors or leaks"
done
