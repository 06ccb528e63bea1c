#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages into a throwaway root with dpkg --root, checks
# what they hold, runs tts-say from there, then purges them and checks that
# nothing is left behind.
#   install_root.sh DEB_DIR
set -eu
debs=$(cd "$1" && pwd)
work=$(mktemp -d /tmp/tts-root-XXXXXX)
trap 'rm -rf "$work"' EXIT
root=$work/root
fail() { echo "install_root: $*" >&2; exit 1; }

# dpkg's database in the root starts as a copy of the host's, so that the
# packages' dependencies (libc6, libespeak-ng1, espeak-ng-data, ...) count
# as installed: tts-say runs on the host's copies of them.
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
: > "$root/var/lib/dpkg/available"
(cd "$root" && find . ! -path './var/lib/dpkg/*' | sort) > "$work/before"
cp "$root/var/lib/dpkg/status" "$work/status.before"

in_root() { dpkg --root="$root" --log=/dev/null --force-not-root --force-script-chrootless "$@"; }
in_root -i "$debs"/libtts1_*.deb "$debs"/libspeech-service1_*.deb "$debs"/tts-say_*.deb "$debs"/libtts-dev_*.deb \
  "$debs"/tts-server_*.deb \
  > "$work/install.log" 2>&1 || { cat "$work/install.log"; fail "dpkg -i failed"; }

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
libdir=$root/usr/lib/$multiarch
for pkg in libtts1 libspeech-service1 tts-say libtts-dev tts-server; do
  [ -s "$root/usr/share/doc/$pkg/copyright" ] || fail "$pkg has no copyright file"
  [ -s "$root/usr/share/doc/$pkg/changelog.Debian.gz" ] || fail "$pkg has no changelog"
done
[ -s "$root/usr/share/man/man1/tts-say.1.gz" ] || fail "the man page is not compressed in place"
[ -s "$root/usr/share/man/man8/tts-server.8.gz" ] || fail "tts-server's man page is not compressed in place"
[ -s "$root/usr/lib/systemd/system/tts-server.socket" ] && [ -s "$root/usr/lib/systemd/system/tts-server.service" ] &&
  [ -s "$root/usr/lib/systemd/system/tts-server-wyoming.socket" ] ||
  fail "tts-server's systemd units are missing"
helper=$root/usr/libexec/tts/tts-engine
stand_in=$root/usr/libexec/tts/engine-libs/libpcaudio.so.0
for elf in "$root/usr/bin/tts-say" "$root/usr/bin/tts-server" "$libdir/libtts.so.1" "$libdir/libspeech_service.so.1" \
  "$helper" "$stand_in"; do
  if readelf -S "$elf" | grep -q '\.symtab\|\.debug_'; then fail "$elf is not stripped"; fi
  [ "$elf" = "$helper" ] && continue
  if readelf -d "$elf" | grep -q 'RPATH\|RUNPATH'; then fail "$elf has a library search path"; fi
done
# The helper's only search path is its own folder of stand-ins, and it finds
# the audio output stand-in there.
[ "$(readelf -d "$helper" | sed -n 's/.*(RPATH).*\[\(.*\)\]/\1/p')" = '$ORIGIN/engine-libs' ] ||
  fail "the helper's library search path is not \$ORIGIN/engine-libs alone"
LD_TRACE_LOADED_OBJECTS=1 "$helper" | grep -qF "=> $stand_in " || fail "the helper does not load the audio output stand-in"

echo "== tts-say from the root"
LD_LIBRARY_PATH=$libdir "$root/usr/bin/tts-say" -q -o "$work/root.wav" 你好，世界
[ "$(stat -c %s "$work/root.wav")" -gt 10000 ] || fail "tts-say from the root wrote no speech"
LD_LIBRARY_PATH=$libdir "$root/usr/bin/tts-say" --voices | head -n 1 | grep -q '^xiaoxin' ||
  fail "tts-say --voices from the root does not list xiaoxin first"

echo "== tts-server from the root"
LD_LIBRARY_PATH=$libdir "$root/usr/bin/tts-server" --listen 127.0.0.1:0 2> "$work/server.log" &
server=$!
for _ in $(seq 50); do grep -q "listening on" "$work/server.log" && break; sleep 0.1; done
port=$(sed -n 's/.*listening on http:\/\/127.0.0.1:\([0-9]*\).*/\1/p' "$work/server.log")
curl -sS --fail -o "$work/server.wav" -H 'Content-Type: application/json' -d '{"input":"你好","response_format":"wav"}' \
  "http://127.0.0.1:$port/v1/audio/speech" || { kill $server; cat "$work/server.log"; fail "tts-server from the root did not speak"; }
kill -TERM $server
wait $server || fail "tts-server did not exit 0 on SIGTERM"
[ "$(stat -c %s "$work/server.wav")" -gt 10000 ] || fail "tts-server from the root wrote no speech"

# The speech-dispatcher module, when the host has speech-dispatcher (its
# dependency) to count as installed in the root.
speechd_tts=
if dpkg-query -W -f='${Status}' speech-dispatcher 2>/dev/null | grep -q ' installed$'; then
  echo "== speech-dispatcher-tts"
  speechd_tts=speech-dispatcher-tts
  in_root -i "$debs"/speech-dispatcher-tts_*.deb > "$work/install-sd.log" 2>&1 ||
    { cat "$work/install-sd.log"; fail "dpkg -i speech-dispatcher-tts failed"; }
  module=$root/usr/lib/speech-dispatcher-modules/sd_tts
  [ -x "$module" ] || fail "sd_tts is not in /usr/lib/speech-dispatcher-modules"
  [ -f "$root/etc/speech-dispatcher/modules/tts.conf" ] || fail "tts.conf is not in /etc/speech-dispatcher/modules"
  [ -s "$root/usr/share/doc/speech-dispatcher-tts/copyright" ] || fail "speech-dispatcher-tts has no copyright file"
  if readelf -d "$module" | grep -q 'RPATH\|RUNPATH'; then fail "sd_tts has a library search path"; fi
  printf 'INIT\nLIST VOICES\nQUIT\n' | LD_LIBRARY_PATH=$libdir "$module" "$root/etc/speech-dispatcher/modules/tts.conf" \
    > "$work/sd.out" 2> "$work/sd.err" || { cat "$work/sd.err"; fail "sd_tts from the root failed"; }
  grep -q "^200-xiaoxin	zh	cmn$" "$work/sd.out" || { cat "$work/sd.out"; fail "sd_tts from the root does not list xiaoxin"; }
  # The configuration is a conffile: kept on remove, gone on purge.
  in_root -r speech-dispatcher-tts > /dev/null 2>&1 || fail "dpkg -r speech-dispatcher-tts failed"
  [ -f "$root/etc/speech-dispatcher/modules/tts.conf" ] || fail "tts.conf was not kept as a conffile"
fi

echo "== purge"
in_root --purge $speechd_tts tts-server libtts-dev tts-say libspeech-service1 libtts1 > "$work/purge.log" 2>&1 ||
  { cat "$work/purge.log"; fail "dpkg --purge failed"; }
(cd "$root" && find . ! -path './var/lib/dpkg/*' | sort) > "$work/after"
diff -u "$work/before" "$work/after" || fail "files left behind in the root"
# Only our packages' entries are compared: dpkg may rewrite the host's own
# entries it copied (a host package half-way through an install of its own).
ours='^Package: (libtts1|libtts-dev|tts-say|tts-server|libspeech-service1|speech-dispatcher-tts)$'
[ "$(grep -cE "$ours" "$work/status.before")" = "$(grep -cE "$ours" "$root/var/lib/dpkg/status")" ] ||
  fail "the packages are still in dpkg's database"
[ -z "$(ls "$root/var/lib/dpkg/info" | grep -e libtts -e speech-service -e tts-say -e tts-server || true)" ] ||
  fail "dpkg still lists files of the packages"
echo "installed, ran and purged without a trace"
