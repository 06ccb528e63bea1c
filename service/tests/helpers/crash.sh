#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Dies of a signal once it has its request, as an engine that aborts on a
# crafted text.
printf 'TTSPCM3\n'
sed -n '/end$/q'
kill -SEGV $$
