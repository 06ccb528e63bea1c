#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Writes some audio and exits 0 without its end frame.
printf 'TTSPCM3\n'
sed -n '/end$/q'
printf 'a\000\020\000\000'
head -c 4096 /dev/zero
