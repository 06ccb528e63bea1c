#!/bin/sh
# Speaks the protocol but ends on half a sample.
cat >/dev/null
printf "TTSPCM1\nabc"
