#!/bin/sh
# Reports an engine error.
cat >/dev/null
echo "tts-engine: synthesis failed" >&2
exit 5
