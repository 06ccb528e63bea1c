#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# sd_tts under the real speech-dispatcher: a private PulseAudio with a null
# sink recorded from its monitor, speech-dispatcher in single mode with its
# own configuration and module folder, and check_speechd.py as the client.
# Everything lives in a temporary folder and is stopped on the way out
# (SPEECHD_TEST_KEEP=1 keeps the folder, with the logs).
#   run.sh BUILD_DIR
# Needs speech-dispatcher, python3-speechd, pulseaudio and pulseaudio-utils
# (scripts/install-deps.sh speechd). Works as root or as a user.
set -eu
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
module="$build/bin/sd_tts"
tts_say="$build/bin/tts-say"
for f in "$module" "$tts_say"; do
  [ -x "$f" ] || { echo "speechd-test: $f is not built" >&2; exit 1; }
done
for tool in speech-dispatcher pulseaudio parec pactl; do
  command -v "$tool" >/dev/null 2>&1 || { echo "speechd-test: $tool missing (scripts/install-deps.sh speechd)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/speechd-test.XXXXXX")
pids=""
# Stopped in the reverse order of their start: the server, the recorder,
# then the sound server.
cleanup() {
  for pid in $pids; do
    kill "$pid" 2>/dev/null || true
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    kill -9 "$pid" 2>/dev/null || true
  done
  if [ -n "${SPEECHD_TEST_KEEP:-}" ]; then echo "speechd-test: kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Private runtime folders: nothing of a user's session is used or touched.
mkdir -p "$work/home" "$work/runtime" "$work/pulse" "$work/conf/modules" "$work/modules" "$work/log"
chmod 700 "$work/runtime" "$work/pulse"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" PULSE_RUNTIME_PATH="$work/pulse"
export PULSE_SERVER="unix:$work/pulse/native"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY 2>/dev/null || true

# A per-user daemon even as root (no --system), which never exits by itself
# and loads nothing but its socket and the null sink.
pulseaudio -n --daemonize=no --system=false --exit-idle-time=-1 --log-target=stderr \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native" \
  -L "module-null-sink sink_name=tts_null" > "$work/log/pulseaudio.log" 2>&1 &
pids="$! $pids"
i=0
until pactl info >/dev/null 2>&1; do
  i=$((i + 1))
  if [ $i -gt 100 ]; then cat "$work/log/pulseaudio.log" >&2; echo "speechd-test: PulseAudio did not start" >&2; exit 1; fi
  sleep 0.1
done
pactl set-default-sink tts_null

parec -d tts_null.monitor --format=s16le --rate=16000 --channels=1 --raw --latency-msec=20 > "$work/recording.raw" \
  2> "$work/log/parec.log" &
pids="$! $pids"

# The module from the build tree, with an empty configuration.
ln -s "$module" "$work/modules/sd_tts"
: > "$work/conf/modules/tts.conf"
cat > "$work/conf/speechd.conf" <<CONF
AudioOutputMethod "pulse"
AddModule "tts" "sd_tts" "tts.conf"
DefaultModule tts
LanguageDefaultModule "zh" "tts"
DefaultLanguage "zh"
CONF
speech-dispatcher -s -t 0 -C "$work/conf" -m "$work/modules" -c unix_socket -S "$work/speechd.sock" \
  -l 4 -L "$work/log" > "$work/log/speech-dispatcher.out" 2>&1 &
pids="$! $pids"
i=0
until [ -S "$work/speechd.sock" ]; do
  i=$((i + 1))
  if [ $i -gt 100 ]; then cat "$work/log/speech-dispatcher.out" >&2; echo "speechd-test: speech-dispatcher did not start" >&2; exit 1; fi
  sleep 0.1
done

status=0
timeout 240 /usr/bin/python3 "$here/check_speechd.py" "$work/speechd.sock" "$work/recording.raw" "$tts_say" || status=$?
if [ $status -ne 0 ]; then
  echo "speechd-test: failed ($status); the module's log:" >&2
  grep -v 'LINE here' "$work/log/tts.log" 2>/dev/null | tail -40 >&2 || true
fi
exit $status
