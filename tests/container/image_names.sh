#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The image that docs/container.md tells users to build is the one that the
# Kubernetes manifests and the compose file run, tagged with the project's
# version.
#   image_names.sh SOURCE_DIR VERSION
set -eu
src=$1
want=tts-server:$2
status=0
built=$(sed -n 's|.*build -f deploy/Containerfile -t \([^ ]*\) \.$|\1|p' "$src/docs/container.md" | sort -u)
[ "$built" = "$want" ] || { echo "docs/container.md builds '$built', not $want"; status=1; }
for f in "$src"/deploy/kubernetes/*.yaml "$src/deploy/compose.yaml"; do
  for image in $(sed -n 's|^ *image: *\([^ ]*\)$|\1|p' "$f" | grep -v '^ghcr.io/open-webui/'); do
    [ "$image" = "$want" ] || { echo "${f#"$src"/} runs $image, not $want"; status=1; }
  done
done
grep -q "^ *image: *$want\$" "$src/deploy/compose.yaml" || { echo "deploy/compose.yaml does not run $want"; status=1; }
exit $status
