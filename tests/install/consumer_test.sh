#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs the build into a fresh prefix and uses it from outside the source
# tree, the ways a developer would: find_package, pkg-config, the installed
# tts-say, ctypes, and dlopen.
#   consumer_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d /tmp/tts-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
check="$src/tests/check_speaks.sh"
text="你好，世界"

cmake --install "$build" --prefix "$prefix" > "$work/install.log"
libdir=$(dirname "$(find "$prefix" -name libtts.so.1 | head -n 1)")

echo "== the Mandarin lexicon beside the helper"
engine=$(find "$prefix" -name tts-engine -type f | head -n 1)
cmp "$(dirname "$engine")/mandarin.lex" "$build/$(basename "$(dirname "$(dirname "$engine")")")/tts/mandarin.lex"

echo "== find_package(tts)"
cmake -S "$src/tests/install/consumer" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DHOST_SOURCE="$src/examples/host.c" > "$work/cmake.log"
cmake --build "$work/cmake" > "$work/cmake-build.log"
"$check" "$work/cmake.wav" "$work/cmake/consumer" "$text" "$work/cmake.wav"

echo "== pkg-config tts"
PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror "$src/examples/host.c" -o "$work/pc-host" \
  $(pkg-config --cflags --libs tts) -Wl,-rpath,"$libdir"
"$check" "$work/pc.wav" "$work/pc-host" "$text" "$work/pc.wav"

echo "== installed tts-say"
"$check" "$work/say.wav" "$prefix/bin/tts-say" -o "$work/say.wav" "$text"

echo "== dlopen host"
cc -std=c99 -Wall -Werror "$src/examples/dlopen.c" -o "$work/dl-host" -ldl
"$check" "$work/dl.wav" "$work/dl-host" "$text" "$work/dl.wav" \
  "$libdir/libspeech_service.so.1" "$libdir/libtts.so.1"

if command -v python3 > /dev/null; then
  echo "== python ctypes host"
  "$check" "$work/py.wav" python3 "$src/examples/python/speak.py" --libdir "$libdir" "$text" "$work/py.wav"
  echo "== python ctypes host, libraries named relative to the current folder"
  (cd "$libdir/.." && "$check" "$work/py-rel.wav" python3 "$src/examples/python/speak.py" \
    --libdir "$(basename "$libdir")" "$text" "$work/py-rel.wav")
fi

cmp "$work/cmake.wav" "$work/pc.wav"
cmp "$work/cmake.wav" "$work/say.wav"
echo "install consumer checks passed"
