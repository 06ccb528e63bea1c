#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Measures sd_tts, the speech-dispatcher module, driven on its standard
input and output as the server drives it.

  bench/speechd.py [--build build] [--runs 21]

1. latency: from the end of a SPEAK of a short sentence to the first audio
   block (705) the module sends, against text_to_speech of the same sentence
   in one process, measured alternately; target ratio <= 1.2;
2. STOP to silence: from STOP, sent while a long text is being synthesised,
   to the module's 703 STOP, after which it sends no more audio; target
   <= 100 ms.
Exits 1 when a target is missed. Runs with its standard input on /dev/null
(the library reads one character before it returns)."""

import argparse
import os
import select
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import texts  # noqa: E402
from libraries import load_tts  # noqa: E402

TARGET_LATENCY_RATIO = 1.2
TARGET_STOP_MS = 100
LONG = "今天天气很好，我们一起去公园散步，看看湖边的花和树。" * 40


class Module:
    def __init__(self, build):
        self.proc = subprocess.Popen([os.path.join(build, "bin", "sd_tts")], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.buf = b""
        self.send("INIT\n")
        self.until(b"299 ")
        self.send("AUDIO\naudio_output_method=server\n.\n")
        self.until(b"203 ")

    def send(self, text):
        self.proc.stdin.write(text.encode("utf-8"))
        self.proc.stdin.flush()

    def line(self, timeout=60):
        fd = self.proc.stdout.fileno()
        while b"\n" not in self.buf:
            ready, _, _ = select.select([fd], [], [], timeout)
            if not ready:
                sys.exit("sd_tts did not answer")
            chunk = os.read(fd, 1 << 20)
            if not chunk:
                sys.exit("sd_tts ended")
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        return line

    def until(self, prefix):
        while True:
            line = self.line()
            if line.startswith(prefix):
                return line

    def speak(self, text):
        """Sends a message; returns when its last line has been written."""
        self.send("SPEAK\n<speak>" + text + "</speak>\n")
        self.until(b"202 ")
        self.send(".\n")
        return time.perf_counter()

    def close(self):
        self.send("QUIT\n")
        self.proc.wait(timeout=30)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--runs", type=int, default=21)
    args = ap.parse_args()

    report = os.fdopen(os.dup(1), "w")
    null = os.open(os.devnull, os.O_RDWR)
    os.dup2(null, 0)
    os.dup2(null, 1)

    tts = load_tts(os.path.join(args.build, "lib"))
    module = Module(args.build)
    ok = True
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "ours.wav").encode()

        def in_process():
            start = time.perf_counter()
            if tts.text_to_speech(texts.SHORT.encode("utf-8"), wav, b"") != 0:
                sys.exit("text_to_speech failed")
            return time.perf_counter() - start

        def first_audio():
            sent = module.speak(texts.SHORT)
            module.until(b"705-AUDIO")
            first = time.perf_counter() - sent
            module.until(b"702 END")
            return first

        in_process(), first_audio()  # both start their first helper
        ours, ref, ratios = [], [], []
        for _ in range(args.runs):
            r = in_process()
            o = first_audio()
            ref.append(r)
            ours.append(o)
            ratios.append(o / r)
        ratio = statistics.median(ratios)
        ok &= ratio <= TARGET_LATENCY_RATIO
        print(f"SPEAK to first audio: {statistics.median(ours) * 1000:.1f} ms, text_to_speech in one process "
              f"{statistics.median(ref) * 1000:.1f} ms: ratio {ratio:.3f} (target <= {TARGET_LATENCY_RATIO})"
              + ("" if ratio <= TARGET_LATENCY_RATIO else "  MISSED"), file=report)

        stops = []
        for _ in range(args.runs):
            module.speak(LONG)
            time.sleep(0.05)
            module.send("STOP\n")
            start = time.perf_counter()
            module.until(b"703 STOP")
            stops.append((time.perf_counter() - start) * 1000)
        stop_ms = statistics.median(stops)
        ok &= stop_ms <= TARGET_STOP_MS
        print(f"STOP to silence: median {stop_ms:.1f} ms, worst {max(stops):.1f} ms (target <= {TARGET_STOP_MS})"
              + ("" if stop_ms <= TARGET_STOP_MS else "  MISSED"), file=report)
    module.close()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
