#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages the build and the tests need, and only those
# that are missing: with everything present it makes no apt call at all.
# The package lists are refreshed only when they are missing or too old to
# know a package.
set -eu

# With the argument "fuzz": also clang and its fuzzer and sanitizer runtimes.
# With "ci": also clang (CI builds with both compilers) and what the package
# tests need (dpkg-dev for dpkg-shlibdeps, file for CPack, lintian), and
# HAProxy and wrk for make fleet-test, and a headless browser for the
# server's CORS test.
# With "bench": also the engine's own command, the benchmarks' reference, and
# HAProxy and wrk for the fleet run of tts-server.
# With "slurm": also a Slurm controller, node daemon and client, and munge
# (tests/slurm/run-one-node.sh runs a batch on a one-node cluster).
# With "speechd": also speech-dispatcher, its Python client and PulseAudio
# (speechd/tests/e2e/run.sh runs sd_tts under the real server).
# With "container": also buildah and debootstrap (make container-test builds
# deploy/Containerfile on a Debian 12 root made here and speaks through it).
packages="cmake make g++ pkg-config libgtest-dev libespeak-ng-dev espeak-ng-data libsoxr-dev libexpat1-dev libsndfile1-dev"
# The engine helper's sandbox: its seccomp filter.
packages="$packages libseccomp-dev"
# The Mandarin lexicon is compiled at build time from these.
packages="$packages python3 rime-data-terra-pinyin rime-data-pinyin-simp rime-essay unicode-data"
# tts-server: its HTTP server, JSON (also tts-say --batch's manifests and
# results), socket activation; curl runs its tests (Node is expected on the machine).
packages="$packages libmicrohttpd-dev nlohmann-json3-dev libsystemd-dev curl"
# tts-server's answer formats: LAME for MP3, libopusenc for Ogg Opus, libFLAC
# for FLAC, libavcodec/libavformat for AAC in ADTS; ffmpeg's ffprobe and ffmpeg decode
# every format in its tests.
packages="$packages libmp3lame-dev libopusenc-dev libflac-dev libavcodec-dev libavformat-dev libavutil-dev ffmpeg"
# tts-say --server: its HTTP client.
packages="$packages libcurl4-openssl-dev"
case "${1:-}" in
  fuzz) packages="$packages clang libclang-rt-14-dev" ;;
  ci) packages="$packages clang dpkg-dev file lintian haproxy wrk chromium-headless-shell" ;;
  bench) packages="$packages espeak-ng haproxy wrk" ;;
  slurm) packages="$packages slurm-wlm munge" ;;
  speechd) packages="$packages speech-dispatcher python3-speechd pulseaudio pulseaudio-utils" ;;
  container) packages="$packages buildah debootstrap" ;;
esac

# tts-server's client test runs the official OpenAI-style client from the npm
# registry, pinned by the lockfile in its own folder.
install_js_client() {
  js="$(dirname "$0")/../server/tests/js"
  [ -d "$js/node_modules/openai" ] && return 0
  command -v npm >/dev/null 2>&1 || { echo "install-deps: npm missing, the server's client test will be skipped" >&2; return 0; }
  (cd "$js" && npm ci --no-audit --no-fund --loglevel=error) ||
    echo "install-deps: npm ci failed, the server's client test will be skipped" >&2
}

missing=""
for pkg in $packages; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  case "$status" in
    *" installed") ;;
    *) missing="$missing $pkg" ;;
  esac
done
if [ -z "$missing" ]; then
  install_js_client
  exit 0
fi

echo "install-deps: installing$missing"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo=sudo; else
    echo "install-deps: need root to install$missing" >&2; exit 1
  fi
else
  sudo=
fi

export DEBIAN_FRONTEND=noninteractive
knows_all() {
  for pkg in $missing; do
    apt-cache show "$pkg" >/dev/null 2>&1 || return 1
  done
}
updated=no
if ! knows_all; then
  $sudo apt-get update
  updated=yes
fi
# shellcheck disable=SC2086
if ! $sudo apt-get install -y --no-install-recommends $missing; then
  # Lists that know the package but name a version the mirror no longer
  # has: refresh them once and try again.
  [ "$updated" = yes ] && exit 1
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends $missing
fi
install_js_client
