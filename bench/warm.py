#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Measures what the warm engine gains a host that speaks many texts: one
process calling text_to_speech again and again on a short sentence, timed
alternately with the engine's own command on the same sentence.

  bench/warm.py [--build build] [--runs 41] [--rounds 7]

Prints the median ratio (text_to_speech time / engine command time); then
sessions per second for 50 short sentences in a row, with helpers that
serve many sessions against a helper per session
(SPEECH_SERVICE_ENGINE_SESSIONS=1), rounds of each alternating in the same
process; then what the idle host holds beside itself: its helper processes
and their memory. Exits 1 when a target is missed. Runs with its standard input on
/dev/null (the library reads one character before it returns)."""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import texts  # noqa: E402
from libraries import load_tts  # noqa: E402

TARGET_RATIO = 0.5
SENTENCES = 50
MAX_EXTRA_PROCESSES = 1
MAX_EXTRA_MIB = 32


def children(pid):
    """The process ids whose parent is `pid`."""
    out = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == pid and fields[0] != "Z":
            out.append(int(entry))
    return out


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--runs", type=int, default=41)
    ap.add_argument("--rounds", type=int, default=7)
    args = ap.parse_args()
    libdir = os.path.join(args.build, "lib")

    # The library prints its dialogue on stdout and reads stdin: both go to
    # /dev/null, and the report to the original stdout.
    report = os.fdopen(os.dup(1), "w")
    null = os.open(os.devnull, os.O_RDWR)
    os.dup2(null, 0)
    os.dup2(null, 1)

    tts = load_tts(libdir)
    text = texts.SHORT.encode("utf-8")
    ok = True
    with tempfile.TemporaryDirectory() as tmp:
        ours_wav = os.path.join(tmp, "ours.wav").encode()
        ref_cmd = ["espeak-ng", "-v", "cmn-latn-pinyin", "-w", os.path.join(tmp, "ref.wav"), texts.SHORT]

        def ours():
            start = time.perf_counter()
            if tts.text_to_speech(text, ours_wav, b"") != 0:
                sys.exit("text_to_speech failed")
            return time.perf_counter() - start

        def ref():
            start = time.perf_counter()
            subprocess.run(ref_cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
            return time.perf_counter() - start

        ours(), ref()  # the first call starts the first helper
        ratios, ours_t, ref_t = [], [], []
        for _ in range(args.runs):
            r = ref()
            o = ours()
            ratios.append(o / r)
            ours_t.append(o)
            ref_t.append(r)
        ratio = statistics.median(ratios)
        ok &= ratio <= TARGET_RATIO
        print(f"text_to_speech in one process: {statistics.median(ours_t) * 1000:.1f} ms, engine command "
              f"{statistics.median(ref_t) * 1000:.1f} ms: median ratio {ratio:.2f}x (target {TARGET_RATIO}x)",
              file=report)

        # Helpers that serve many sessions against a helper per session.
        batch = [t.encode("utf-8") for t in texts.sentences(SENTENCES)]

        def sessions_per_second(per_helper):
            if per_helper is None:
                os.environ.pop("SPEECH_SERVICE_ENGINE_SESSIONS", None)
            else:
                os.environ["SPEECH_SERVICE_ENGINE_SESSIONS"] = per_helper
            start = time.perf_counter()
            for t in batch:
                if tts.text_to_speech(t, ours_wav, b"") != 0:
                    sys.exit("text_to_speech failed")
            return len(batch) / (time.perf_counter() - start)

        reused, single, gains = [], [], []
        for _ in range(args.rounds):
            s = sessions_per_second("1")
            r = sessions_per_second(None)
            single.append(s)
            reused.append(r)
            gains.append(r / s)
        os.environ.pop("SPEECH_SERVICE_ENGINE_SESSIONS", None)
        print(f"{SENTENCES} short sentences in a row: {statistics.median(reused):.1f} sessions/s with reused "
              f"helpers, {statistics.median(single):.1f} with a helper per session: median gain "
              f"{statistics.median(gains):.2f}x over {args.rounds} alternating rounds", file=report)

    time.sleep(0.5)  # the next helper has finished starting
    helpers = children(os.getpid())
    extra_mib = sum(rss_kib(p) for p in helpers) / 1024
    ok &= len(helpers) <= MAX_EXTRA_PROCESSES and extra_mib <= MAX_EXTRA_MIB
    print(f"idle host: {len(helpers)} extra process, {extra_mib:.1f} MiB resident "
          f"(limits {MAX_EXTRA_PROCESSES}, {MAX_EXTRA_MIB} MiB)", file=report)
    print("all targets met" if ok else "a target was missed", file=report)
    report.flush()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
