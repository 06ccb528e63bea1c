#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Dies of a signal, as an engine that aborts on a crafted text.
cat >/dev/null
kill -SEGV $$
