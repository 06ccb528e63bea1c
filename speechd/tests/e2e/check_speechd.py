#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""sd_tts under the real speech-dispatcher, through the client library
screen readers use (python3-speechd), heard on a PulseAudio null sink.

run.sh starts the sound server, the recorder and speech-dispatcher; this
script speaks through them and reads what was recorded.
  check_speechd.py SOCKET RECORDING TTS_SAY
"""
import array
import math
import os
import subprocess
import sys
import tempfile
import threading
import time
import wave

import speechd

RATE = 16000          # the recording: 16-bit mono
FRAME = RATE // 50    # 20 ms
VOICED = 300          # root mean square of a frame that is heard

SENTENCE = "你好，欢迎使用离线语音合成。今天是个好日子。"


class Recording:
    def __init__(self, path):
        self.path = path

    def mark(self):
        return os.path.getsize(self.path) // 2 * 2

    def since(self, offset, settle=0.6):
        time.sleep(settle)  # what the recorder still holds
        with open(self.path, "rb") as f:
            f.seek(offset)
            data = f.read()
        samples = array.array("h")
        samples.frombytes(data[: len(data) // 2 * 2])
        return samples


def frames_rms(samples):
    out = []
    for i in range(0, len(samples) - FRAME + 1, FRAME):
        chunk = samples[i:i + FRAME]
        out.append(math.sqrt(sum(s * s for s in chunk) / FRAME))
    return out


def voiced_seconds(samples):
    """From the first heard frame to the last, in seconds."""
    loud = [i for i, r in enumerate(frames_rms(samples)) if r > VOICED]
    return 0.0 if not loud else (loud[-1] - loud[0] + 1) * FRAME / RATE


def loudness(samples):
    loud = [r for r in frames_rms(samples) if r > VOICED / 3]
    return 0.0 if not loud else sum(loud) / len(loud)


class Client:
    def __init__(self, socket):
        self.c = speechd.SSIPClient("tts-e2e", address="unix_socket:" + socket, autospawn=False)
        self.c.set_output_module("tts")
        self.events = []
        self.done = threading.Event()

    def _callback(self, kind, index_mark=None):
        self.events.append((kind, index_mark, time.monotonic()))
        if kind in (speechd.CallbackType.END, speechd.CallbackType.CANCEL):
            self.done.set()

    def speak(self, text, wait=True, timeout=30):
        self.events = []
        self.done.clear()
        self.c.speak(text, callback=self._callback)
        if wait and not self.done.wait(timeout):
            raise AssertionError("no END for %r" % text)

    def kinds(self):
        return [k for k, _, _ in self.events]


failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def reference_seconds(tts_say, text):
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "ref.wav")
        subprocess.run([tts_say, "-o", path, text], check=True, stdout=subprocess.DEVNULL, timeout=60)
        with wave.open(path) as w:
            assert w.getframerate() == RATE and w.getsampwidth() == 2 and w.getnchannels() == 1
            samples = array.array("h")
            samples.frombytes(w.readframes(w.getnframes()))
    # The reference is at the service's default volume; the module's at the
    # server's default (full); voiced frames are found the same way.
    return voiced_seconds(samples)


def main():
    socket, recording, tts_say = sys.argv[1:4]
    rec = Recording(recording)
    client = Client(socket)
    c = client.c
    c.set_language("zh")
    c.set_rate(0)
    c.set_volume(100)

    # A Mandarin sentence, heard whole at the right speed.
    start = rec.mark()
    client.speak(SENTENCE)
    heard = voiced_seconds(rec.since(start))
    expected = reference_seconds(tts_say, SENTENCE)
    # Whole and at its rate; a loaded machine can only add gaps between blocks.
    check(0.85 * expected <= heard <= 1.25 * expected,
          "Mandarin sentence heard for %.2f s, the service makes %.2f s" % (heard, expected))
    check(speechd.CallbackType.BEGIN in client.kinds() and client.kinds()[-1] == speechd.CallbackType.END,
          "BEGIN and END reported")

    # Index marks, in order, each after the audio before it.
    c.set_data_mode(speechd.DataMode.SSML)
    client.speak('<speak>第一句话。<mark name="one"/>第二句话。<mark name="two"/>'
                 '第三句话。<mark name="three"/>第四句话。</speak>')
    marks = [(m, t) for k, m, t in client.events if k == speechd.CallbackType.INDEX_MARK and not m.startswith("__spd_")]
    check([m for m, _ in marks] == ["one", "two", "three"], "marks in order: %s" % [m for m, _ in marks])
    gaps = [b[1] - a[1] for a, b in zip(marks, marks[1:])]
    # Each mark comes when its sentence has been played (about a second each).
    check(all(g > 0.4 for g in gaps), "marks paced by the audio: %s" % ["%.2f" % g for g in gaps])
    c.set_data_mode(speechd.DataMode.TEXT)

    # Cancel stops the audio.
    long_text = "今天天气很好，我们一起去公园散步，看看湖边的花和树。" * 8
    start = rec.mark()
    client.speak(long_text, wait=False)
    time.sleep(1.5)
    cancel_at = rec.mark()
    c.cancel()
    client.done.wait(10)
    check(speechd.CallbackType.CANCEL in client.kinds(), "cancel reported")
    time.sleep(2.5)
    before = rec.since(start, settle=0)[: (cancel_at - start) // 2]
    after = rec.since(cancel_at, settle=0)
    # What the sound server already holds may still sound (a fraction of a
    # second; more on a loaded machine); the text had half a minute to go.
    tail = after[int(1.0 * RATE):]
    check(voiced_seconds(before) > 0.5, "speech before the cancel (%.2f s)" % voiced_seconds(before))
    check(len(tail) > RATE and voiced_seconds(tail) == 0.0,
          "silence from 1 s after the cancel (%.2f s heard after it in all)" % voiced_seconds(after))

    # Rate and volume change what is heard.
    def say(text):
        start = rec.mark()
        client.speak(text)
        return rec.since(start)
    normal = say(SENTENCE)
    c.set_rate(70)
    fast = say(SENTENCE)
    c.set_rate(0)
    c.set_volume(-60)
    quiet = say(SENTENCE)
    c.set_volume(100)
    check(voiced_seconds(fast) < 0.8 * voiced_seconds(normal),
          "rate 70: %.2f s against %.2f s" % (voiced_seconds(fast), voiced_seconds(normal)))
    check(loudness(quiet) < 0.5 * loudness(normal),
          "volume -60: loudness %.0f against %.0f" % (loudness(quiet), loudness(normal)))

    # CHAR and KEY speak (the library gives them no callbacks).
    for what, send in (("char 行", lambda: c.char("行")), ("char a", lambda: c.char("a")),
                       ("key space", lambda: c.key("space")), ("key shift_a", lambda: c.key("shift_a"))):
        start = rec.mark()
        send()
        time.sleep(1.5)
        heard = voiced_seconds(rec.since(start, settle=0.2))
        check(0.1 < heard < 3, "%s heard for %.2f s" % (what, heard))

    # English.
    c.set_language("en")
    start = rec.mark()
    client.speak("Hello, this is a test of the English voice.")
    heard = voiced_seconds(rec.since(start))
    check(1.0 < heard < 6, "English sentence heard for %.2f s" % heard)

    # Pause stops at the next of the server's marks; resume goes on from it.
    client.speak("This is the first sentence of three. Here comes the second one. And this is the last.",
                 wait=False)
    time.sleep(0.3)
    c.pause()
    deadline = time.monotonic() + 15
    while speechd.CallbackType.PAUSE not in client.kinds() and time.monotonic() < deadline:
        time.sleep(0.05)
    check(speechd.CallbackType.PAUSE in client.kinds(), "pause reported")
    marks_at_pause = [m for k, m, _ in client.events if k == speechd.CallbackType.INDEX_MARK]
    c.resume()
    client.done.wait(30)
    kinds = client.kinds()
    check(speechd.CallbackType.RESUME in kinds and kinds[-1] == speechd.CallbackType.END,
          "resumed and ended after %d mark(s) at the pause" % len(marks_at_pause))

    c.close()
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
