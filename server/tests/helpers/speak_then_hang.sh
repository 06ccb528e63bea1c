#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# An engine helper that writes more audio than the service hands out in its
# first block (quiet, not silent), then never answers again: the answer's
# first bytes go out before it fails.
printf 'TTSPCM3\n'
sed -n '/end$/q'
for i in $(seq 24); do
  printf 'a\000\000\001\000'
  head -c 65536 /dev/zero | tr '\000' '\001'
done
sleep 600
