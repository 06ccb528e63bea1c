#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Ends each session well but on half a sample, and waits for the next
# request as a helper that served its session well does.
printf 'TTSPCM3\n'
while sed -n '/end$/{p;q}' | grep -q .; do
    printf 'a\003\000\000\000abce\004\000\000\000\000\000\000\000'
done
