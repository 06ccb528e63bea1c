#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Speaks the protocol and ends well, but on half a sample.
printf 'TTSPCM3\n'
sed -n '/end$/q'
printf 'a\003\000\000\000abce\004\000\000\000\000\000\000\000'
