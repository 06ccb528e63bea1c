#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Speaks the protocol but ends on half a sample.
cat >/dev/null
printf "TTSPCM1\nabc"
