#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Builds deploy/Containerfile with buildah and speaks through the image's
# server. No registry is needed: the FROM image, debian:bookworm-slim, is a
# Debian 12 root made here with debootstrap from the machine's own Debian
# mirror (kept in DIR, so later runs skip it). Runs as root (buildah with
# chroot isolation, as in a CI sandbox without systemd). Each long step
# has a time limit: debootstrap 30 min, the image's build 60 min.
#   run.sh [DIR]        (default build-container)
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(mkdir -p "${1:-$src/build-container}" && cd "${1:-$src/build-container}" && pwd)
image=localhost/tts-server:test
[ "$(id -u)" -eq 0 ] || { echo "container-test: run as root" >&2; exit 1; }
for tool in buildah debootstrap curl python3; do
  command -v "$tool" > /dev/null 2>&1 || { echo "container-test: $tool is needed (scripts/install-deps.sh container)" >&2; exit 1; }
done

elapsed() { echo "container-test: $1 after $(( $(date +%s) - begin )) s"; }
begin=$(date +%s)

# The storage of our own, with overlay where the kernel takes it here.
driver=${TTS_CONTAINER_DRIVER:-}
if [ -z "$driver" ]; then
  probe=$(mktemp -d)
  mkdir "$probe/l" "$probe/u" "$probe/w" "$probe/m"
  if mount -t overlay overlay -o "lowerdir=$probe/l,upperdir=$probe/u,workdir=$probe/w" "$probe/m" 2> /dev/null; then
    umount "$probe/m"; driver=overlay
  else
    driver=vfs
  fi
  rm -rf "$probe"
fi
bah() { buildah --root "$dir/storage" --runroot "$dir/run" --storage-driver "$driver" "$@"; }
# The same, in place of the shell that runs it (a background job's $! is
# then buildah's own process, which passes a signal on to what it runs).
bah_exec() { exec buildah --root "$dir/storage" --runroot "$dir/run" --storage-driver "$driver" "$@"; }
echo "container-test: storage driver $driver"

# The Debian mirror the machine is configured with (deb822 or one-line
# sources), for the suite bookworm.
mirror() {
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
      { uri = ""; suites = ""
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^URIs:/) { split(substr($i, 6), u, " "); uri = u[1] }
          if ($i ~ /^Suites:/) suites = " " substr($i, 8) " "
        }
        if (uri != "" && suites ~ /[ \t]bookworm[ \t]/) { print uri; exit } }' "$f"
  done
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2> /dev/null |
    sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) bookworm .*/\2/p'
}
url=$(mirror | head -n 1)
[ -n "$url" ] || { echo "container-test: no Debian bookworm mirror in /etc/apt/sources.list*" >&2; exit 1; }

rootfs=$dir/bookworm-minbase.tar
if [ ! -s "$rootfs" ]; then
  echo "container-test: debootstrap bookworm from $url"
  root=$dir/bookworm-root
  rm -rf "$root"
  timeout 1800 debootstrap --variant=minbase bookworm "$root" "$url" > "$dir/debootstrap.log" 2>&1 ||
    { tail -n 20 "$dir/debootstrap.log" >&2; exit 1; }
  rm -rf "$root"/var/cache/apt/archives/*.deb "$root"/var/lib/apt/lists/*
  tar -C "$root" --numeric-owner --exclude='./dev/*' --exclude='./proc/*' --exclude='./sys/*' \
    -cf "$rootfs.part" .
  mv "$rootfs.part" "$rootfs"
  rm -rf "$root"
  elapsed "debootstrap done"
fi
if ! bah inspect --type image docker.io/library/debian:bookworm-slim > /dev/null 2>&1; then
  base=$(bah from scratch)
  bah add "$base" "$rootfs" / > /dev/null
  bah config --cmd bash "$base"
  bah commit -q --rm "$base" docker.io/library/debian:bookworm-slim > /dev/null
fi

ctr=
server=
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2> /dev/null || true
    wait "$server" 2> /dev/null || true
  fi
  [ -z "$ctr" ] || bah rm "$ctr" > /dev/null 2>&1 || true
  bah rmi "$image" > /dev/null 2>&1 || true
}
trap cleanup EXIT
trap 'exit 1' INT TERM

timeout 3600 buildah --root "$dir/storage" --runroot "$dir/run" --storage-driver "$driver" \
  bud --isolation chroot --pull=never -f "$src/deploy/Containerfile" -t "$image" "$src" \
  > "$dir/build.log" 2>&1 || { tail -n 40 "$dir/build.log" >&2; exit 1; }
elapsed "image built"

# The image's own settings: a user other than root, port 5500 exposed and
# asked for on every address.
config=$(bah inspect --type image --format '{{.OCIv1.Config.User}}|{{.OCIv1.Config.Entrypoint}}|{{.OCIv1.Config.Cmd}}|{{.OCIv1.Config.ExposedPorts}}' "$image")
echo "container-test: user|entrypoint|cmd|ports: $config"
case "$config" in
  "0"* | "root"* | "|"*) echo "container-test: the image runs as root" >&2; exit 1 ;;
esac
case "$config" in
  *"|[tts-server]|[--listen 0.0.0.0:5500]|map[5500/tcp:{}]") ;;
  *) echo "container-test: the image does not run tts-server on 0.0.0.0:5500" >&2; exit 1 ;;
esac

ctr=$(bah from --pull=never "$image")

[ "$(bah run --isolation chroot "$ctr" -- id -u)" != 0 ] || { echo "container-test: runs as root" >&2; exit 1; }
if bah run --isolation chroot "$ctr" -- sh -c 'command -v g++ || command -v cmake || command -v dpkg-buildflags' 2> /dev/null; then
  echo "container-test: build tools are in the image" >&2; exit 1
fi

# The image's server on any free port (chroot isolation shares the host's
# network, and 5500 may be taken here).
log=$dir/server.log
bah_exec run --isolation chroot "$ctr" -- tts-server --listen 0.0.0.0:0 > "$log" 2>&1 &
server=$!
port=
for _ in $(seq 1 100); do
  port=$(sed -n 's|.*listening on http://[^ ]*:\([0-9]*\).*|\1|p' "$log")
  [ -n "$port" ] && break
  kill -0 "$server" 2> /dev/null || { cat "$log" >&2; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { echo "container-test: the server did not start" >&2; cat "$log" >&2; exit 1; }

wav=$dir/speech.wav
curl -sS --fail-with-body --max-time 60 -o "$wav" -H 'Content-Type: application/json' \
  -d '{"model": "tts-1", "input": "你好，欢迎使用离线语音合成。", "response_format": "wav"}' \
  "http://127.0.0.1:$port/v1/audio/speech"
python3 - "$wav" << 'EOF'
import sys, wave
with wave.open(sys.argv[1]) as w:
    seconds = w.getnframes() / w.getframerate()
    print(f"container-test: {w.getnchannels()} channel, {w.getframerate()} Hz, {seconds:.2f} s of speech")
    if w.getnchannels() != 1 or w.getsampwidth() != 2 or not 1.0 < seconds < 10.0:
        sys.exit("container-test: not the speech of the sentence")
EOF
elapsed "spoken through the image's server"
