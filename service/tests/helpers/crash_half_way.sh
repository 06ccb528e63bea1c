#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Writes some audio, reports memory corruption on stderr and dies of a
# signal half way, before its end frame.
printf 'TTSPCM3\n'
sed -n '/end$/q'
printf 'a\000\020\000\000'
head -c 4096 /dev/zero
echo "*** stack smashing detected ***: terminated" >&2
kill -SEGV $$
