#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# An engine still speaking when its host is stopped: 64 KiB of silence
# every twentieth of a second, without end (it ends when its host has gone).
printf 'TTSPCM3\n'
sed -n '/end$/q'
while printf 'a\000\000\001\000' && head -c 65536 /dev/zero; do sleep 0.05; done
