#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Measures the helper's resampling at each quality against the finest one
(32-bit precision), on the engine's speech of the benchmark's Chinese sentences
(the engine's own Mandarin voice) and of a few English ones, at 16000 and
8000 Hz, and what each quality costs.

  bench/resampler_quality.py [--build build]

Prints the tool's table (service/engine/tools/resampler_quality.cc); exits
1 when the quality the helper uses leaves a difference below 80% of the
band that 16-bit output can show (the error's level there at or above the
16-bit rounding noise)."""

import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import texts  # noqa: E402

# The quality the helper uses (service/engine/resampler.cc).
HELPER_QUALITY = "16-bit"

ENGLISH = [
    "The quick check of every sound takes only a moment.",
    "Seven hundred and twelve boxes arrived on Tuesday, two days late.",
    "Please speak clearly, and wait for the tone before you answer.",
    "Light rain is expected in the evening, with a gentle wind from the west.",
]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    args = ap.parse_args()
    lines = [f"cmn\t{t}" for t in texts.sentences(16)] + [f"en\t{t}" for t in ENGLISH]
    out = subprocess.run([os.path.join(args.build, "bin", "resampler-quality")], input="\n".join(lines) + "\n",
                         capture_output=True, text=True, check=True).stdout
    print(out, end="")
    ok = True
    for row in out.splitlines()[3:]:
        cells = row.split()
        rate, quality = cells[0], " ".join(cells[1:-6])
        if quality == HELPER_QUALITY and float(cells[-3]) >= 0:
            print(f"{rate} Hz: the helper's quality leaves a difference in band that 16-bit output can show")
            ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
