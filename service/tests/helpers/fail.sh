#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Reports an engine error in its end frame, on stderr and in its exit code.
printf 'TTSPCM3\n'
sed -n '/end$/q'
echo "tts-engine: synthesis failed" >&2
printf 'e\024\000\000\000\005\000\000\000synthesis failed'
exit 5
