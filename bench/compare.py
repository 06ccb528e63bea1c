#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Compares tts-say with the engine's own command writing its own WAV of the
same text, and measures the peak memory of tts-say.

  bench/compare.py [--build build] [--runs 7]

Speed: median over alternating runs of (tts-say time / engine time), for a
short sentence and for about 16 KB of Chinese. Memory: peak RSS of tts-say
for the long text and for a text four times as long. Exits 1 when a target
is missed."""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import texts  # noqa: E402

TARGETS = {"short": 1.15, "long": 1.15}
MEMORY_LIMIT_MIB = 48
MEMORY_GROWTH = 1.15


def run(cmd, stdin=subprocess.DEVNULL):
    """Wall time in seconds and peak RSS in KiB of one run."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(cmd)}")
    return elapsed, usage.ru_maxrss


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--runs", type=int, default=7)
    args = ap.parse_args()
    tts_say = os.path.join(args.build, "bin", "tts-say")
    ok = True
    with tempfile.TemporaryDirectory() as tmp:
        files = {"short": texts.SHORT, "long": texts.long_text(), "long4": texts.long_text(4 * 16 * 1024)}
        for name, text in files.items():
            with open(os.path.join(tmp, name + ".txt"), "w", encoding="utf-8") as f:
                f.write(text)
        out = os.path.join(tmp, "out.wav")
        ref = os.path.join(tmp, "ref.wav")

        print(f"{'text':6} {'engine s':>9} {'tts-say s':>9} {'ratio':>6} {'target':>6}")
        for name in ("short", "long"):
            path = os.path.join(tmp, name + ".txt")
            ours_cmd = [tts_say, "-o", out, "-f", path]
            ref_cmd = ["espeak-ng", "-v", "cmn-latn-pinyin", "-w", ref, "-f", path]
            run(ours_cmd), run(ref_cmd)  # warm the caches
            ratios, ours_t, ref_t = [], [], []
            for _ in range(args.runs):
                r, _ = run(ref_cmd)
                o, _ = run(ours_cmd)
                ratios.append(o / r)
                ours_t.append(o)
                ref_t.append(r)
            ratio = statistics.median(ratios)
            ok &= ratio <= TARGETS[name]
            print(f"{name:6} {statistics.median(ref_t):9.3f} {statistics.median(ours_t):9.3f} "
                  f"{ratio:6.2f} {TARGETS[name]:6.2f}")

        peaks = {}
        for name in ("long", "long4"):
            path = os.path.join(tmp, name + ".txt")
            peaks[name] = max(run([tts_say, "-o", out, "-f", path])[1] for _ in range(3)) / 1024
        growth = peaks["long4"] / peaks["long"]
        ok &= peaks["long4"] <= MEMORY_LIMIT_MIB and growth <= MEMORY_GROWTH
        print(f"peak RSS of tts-say: {peaks['long']:.1f} MiB (16 KB text), {peaks['long4']:.1f} MiB "
              f"(64 KB text), growth {growth:.2f} (limits {MEMORY_LIMIT_MIB} MiB, {MEMORY_GROWTH})")
    print("all targets met" if ok else "a target was missed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
