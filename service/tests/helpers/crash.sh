#!/bin/sh
# Dies of a signal, as an engine that aborts on a crafted text.
cat >/dev/null
kill -SEGV $$
