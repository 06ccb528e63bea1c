#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Checks the Debian packages with lintian: no error, and every warning that
# remains explained in the packaging page (its tag named there in backquotes).
# Skipped (77) without lintian.
#   lintian.sh DEB_DIR PAGE
set -eu
command -v lintian > /dev/null 2>&1 || { echo "lintian is not installed: skipped"; exit 77; }
debs=$1
readme=$2
report=$(lintian --tag-display-limit 0 "$debs"/*.deb 2>&1 | grep -v 'running with root privileges' || true)
echo "$report"
status=0
if printf '%s\n' "$report" | grep -q '^E: '; then
  echo "lintian reports errors"
  status=1
fi
for tag in $(printf '%s\n' "$report" | sed -n 's/^W: [^:]*: \([^ ]*\).*/\1/p' | sort -u); do
  if ! grep -q "\`$tag\`" "$readme"; then
    echo "lintian warning $tag is not explained in $readme"
    status=1
  fi
done
exit $status
