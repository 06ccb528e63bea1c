#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Measures tts-say --batch: items a second against a shell loop of tts-say
and -j 2 against -j 1 (timed alternately, round after round, in one run),
and the resident memory of a 1,000,000-line manifest's first 2000 items
against a 2000-line manifest's.

  bench/batch.py [--build build] [--items 2000] [--loop-items 200] [--rounds 3]

The shell loop runs `while read id text; do tts-say -q -o $id.wav "$text"`
on the first --loop-items lines (it is slow), the batches on all --items.
Prints the median items a second of each and the ratios; exits 1 when a
target is missed."""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import texts  # noqa: E402

TARGET_LOOP_RATIO = 5.0
TARGET_JOBS_RATIO = 1.7
MEMORY_TOLERANCE = 0.10
MEMORY_LINES = 1_000_000


def write_manifest(path, count):
    with open(path, "w", encoding="utf-8") as f:
        for i in range(count):
            f.write(f"s{i}\t{texts._SENTENCES[i % len(texts._SENTENCES)]}\n")


def fresh(dir_):
    shutil.rmtree(dir_, ignore_errors=True)
    os.mkdir(dir_)


def loop_rate(tts_say, manifest, count, out):
    fresh(out)
    script = ('head -n "$1" "$2" | while IFS="$(printf \'\\t\')" read -r id text; do '
              '"$3" -q -o "$4/$id.wav" "$text" || exit 1; done')
    start = time.monotonic()
    subprocess.run(["sh", "-c", script, "sh", str(count), manifest, tts_say, out], check=True,
                   stdin=subprocess.DEVNULL)
    return count / (time.monotonic() - start)


def batch_rate(tts_say, manifest, count, out, jobs):
    fresh(out)
    start = time.monotonic()
    subprocess.run([tts_say, "-q", "--batch", manifest, "-O", out, "-j", str(jobs)], check=True,
                   stdin=subprocess.DEVNULL)
    return count / (time.monotonic() - start)


def peak_rss_kib(tts_say, manifest, out, stop_after):
    """The peak resident memory of a batch, read until `stop_after` items
    have their results line (then it is stopped) or it ends."""
    fresh(out)
    proc = subprocess.Popen([tts_say, "-q", "--batch", manifest, "-O", out, "-j", "2"],
                            stdin=subprocess.DEVNULL)
    peak, results = 0, os.path.join(out, "results.jsonl")
    while proc.poll() is None:
        try:
            with open(f"/proc/{proc.pid}/status") as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        peak = max(peak, int(line.split()[1]))
            with open(results, "rb") as f:
                done = f.read().count(b"\n")
        except OSError:
            done = 0
        if done >= stop_after:
            proc.kill()
            break
        time.sleep(0.02)
    proc.wait()
    return peak


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--items", type=int, default=2000)
    ap.add_argument("--loop-items", type=int, default=200)
    ap.add_argument("--rounds", type=int, default=3)
    args = ap.parse_args()
    tts_say = os.path.abspath(os.path.join(args.build, "bin", "tts-say"))

    with tempfile.TemporaryDirectory() as tmp:
        manifest = os.path.join(tmp, "items.tsv")
        write_manifest(manifest, args.items)
        out = os.path.join(tmp, "out")
        rates = {"loop": [], "j2": [], "j1": []}
        for r in range(args.rounds):
            order = ["loop", "j2", "j1"] if r % 2 == 0 else ["j1", "j2", "loop"]
            for what in order:
                if what == "loop":
                    rates[what].append(loop_rate(tts_say, manifest, args.loop_items, out))
                else:
                    rates[what].append(batch_rate(tts_say, manifest, args.items, out, int(what[1])))
        med = {k: statistics.median(v) for k, v in rates.items()}
        for k, label in (("loop", f"shell loop of tts-say ({args.loop_items} items)"),
                         ("j2", f"--batch -j 2 ({args.items} items)"), ("j1", f"--batch -j 1 ({args.items} items)")):
            print(f"{label}: {med[k]:.1f} items/s (rounds: {', '.join(f'{x:.1f}' for x in rates[k])})")
        loop_ratio, jobs_ratio = med["j2"] / med["loop"], med["j2"] / med["j1"]

        big = os.path.join(tmp, "big.tsv")
        write_manifest(big, MEMORY_LINES)
        small_rss = peak_rss_kib(tts_say, manifest, out, args.items)
        big_rss = peak_rss_kib(tts_say, big, out, args.items)
        growth = big_rss / small_rss - 1

    missed = 0
    for name, value, ok, target in (
            ("-j 2 against the shell loop", f"{loop_ratio:.2f}x", loop_ratio >= TARGET_LOOP_RATIO,
             f">= {TARGET_LOOP_RATIO}x"),
            ("-j 2 against -j 1", f"{jobs_ratio:.2f}x", jobs_ratio >= TARGET_JOBS_RATIO, f">= {TARGET_JOBS_RATIO}x"),
            (f"peak RSS, {MEMORY_LINES}-line manifest's first {args.items} items against a {args.items}-line one",
             f"{big_rss} KiB against {small_rss} KiB ({growth:+.1%})", abs(growth) <= MEMORY_TOLERANCE,
             f"within {MEMORY_TOLERANCE:.0%}")):
        print(f"{name}: {value} (target {target}){'' if ok else '  MISSED'}")
        missed += not ok
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
