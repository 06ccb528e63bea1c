#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Reports an engine error.
cat >/dev/null
echo "tts-engine: synthesis failed" >&2
exit 5
