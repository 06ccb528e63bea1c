#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Times the Mandarin front end on texts of awkward shapes, to show that
reading time grows linearly with the text: long runs of one pattern that a
reader could rescan at every position of the run.

  bench/reading_shapes.py [--build build] [--shape NAME ...] [--sizes 256,1024]

Each shape is read through speech_service_reading (the reading table, on one
core) at each size in KiB, the best of --runs runs. Prints, per shape, the
time at each size and the ratio of the last to the first (about 4 for 256 KB
against 1 MB when the time is linear). Exits 1 when a 1 MB text takes longer
than the target or a ratio is above --max-ratio."""

import argparse
import ctypes
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import texts  # noqa: E402
from libraries import load_reading  # noqa: E402

TARGET_SECONDS_PER_MB = 2.0

# name -> (unit repeated, tail); the text is the unit repeated up to the size,
# then the tail. Runs longer than a piece (64 KB) are cut into pieces, so
# pinyin-run repeats a 40 KB run that only fails at its end.
SHAPES = {
    "pinyin-run": ("a1" * 20000 + "x", ""),
    "pinyin-valid": ("ni3hao3", ""),
    "chinese": (None, ""),
    "han-no-marks": ("银行存款", ""),
    "han-digit": ("中1", ""),
    "digits": ("1", ""),
    "letters": ("a", ""),
    "capitals": ("A", ""),
    "letter-dot": ("a.", ""),
    "letter-digit": ("a1b", ""),
    "digit-hyphen": ("1-", ""),
    "digit-dot": ("1.", ""),
    "digit-colon": ("1:", ""),
    "digit-slash": ("1/", ""),
    "digit-comma": ("1,", ""),
    "groups": (",234", ""),
    "minus-number": ("-1", ""),
    "yen": ("¥", ""),
    "yen-number": ("¥1", ""),
    "percent": ("%", ""),
    "dashes": ("-", ""),
    "dots": (".", ""),
    "ellipsis": ("…", ""),
    "marks": ("e\u0301", ""),
    "blanks": (" ", "好"),
    "mixed": (None, ""),
}


def text_of(name, size):
    unit, tail = SHAPES[name]
    if name == "chinese":
        return texts.long_text(size)
    if name == "mixed":
        mixed = ("我們去銀行，取了¥1,200.50元（约$170）。2023-05-06 12:30，气温-3~5℃，湿度65%。"
                 "电话：13800138000；比分3:2，第2名，2/3的人。Hello, USA! ni3 hao3 ＡＢＣ１２３ 3.5%…… 100km/h 5 kg ")
        unit = mixed
    n = max(1, size // len(unit.encode("utf-8")))
    return unit * n + tail


def read_seconds(lib, data):
    table = ctypes.c_void_p()
    start = time.perf_counter()
    rc = lib.speech_service_reading(b"rdn = 0", data, len(data), ctypes.byref(table))
    elapsed = time.perf_counter() - start
    if rc != 0:
        raise RuntimeError(f"speech_service_reading failed: {rc}")
    lib.speech_service_free(table)
    return elapsed


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default="build")
    ap.add_argument("--shape", action="append", choices=sorted(SHAPES), help="only these shapes")
    ap.add_argument("--sizes", default="256,1024", help="sizes in KiB, smallest first")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--max-ratio", type=float, default=6.0)
    args = ap.parse_args()
    os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})
    lib = load_reading(os.path.join(args.build, "lib"))
    sizes = [int(s) * 1024 for s in args.sizes.split(",")]
    ok = True
    print(f"{'shape':<14}" + "".join(f"{s // 1024:>9} KB" for s in sizes) + f"{'ratio':>8}")
    for name in args.shape or SHAPES:
        times = []
        for size in sizes:
            data = text_of(name, size).encode("utf-8")
            times.append(min(read_seconds(lib, data) for _ in range(args.runs)))
        ratio = times[-1] / max(times[0], 1e-6)
        per_mb = times[-1] / (sizes[-1] / (1 << 20))
        slow = per_mb > TARGET_SECONDS_PER_MB or (len(sizes) > 1 and ratio > args.max_ratio)
        ok = ok and not slow
        print(f"{name:<14}" + "".join(f"{t:>10.3f}s" for t in times) + f"{ratio:>8.1f}" + ("  SLOW" if slow else ""))
        sys.stdout.flush()
    print(f"targets: {'met' if ok else 'MISSED'} (at most {TARGET_SECONDS_PER_MB} s per MB, linear growth)")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
