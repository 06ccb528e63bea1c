#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""How far each libsoxr quality recipe lands from the very-high-quality
result, against what 16-bit output can hold, and what each costs: the
figures for choosing the helper's resampler settings.

  bench/resampler_quality.py [--build build] [--runs 5]

The input is the engine's own output at 22050 Hz (espeak-ng --stdout, voice
cmn-latn-pinyin, the benchmark's sentences as tts-say --pinyin reads them),
resampled to 16000 Hz. The error is the
RMS difference to the very-high-quality result, both as 64-bit floats, in
dB below full scale; 16-bit output holds no better than its rounding noise,
1/sqrt(12) of a step (-101.2 dBFS). The cost is the time of a 16-bit to
16-bit conversion without dither, as the helper makes it, per second of
audio (best of --runs), and for the first sentence alone, set-up
included, as a helper converts one short text."""

import argparse
import array
import ctypes
import math
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import texts  # noqa: E402

FLOAT64_I, INT16_I = 1, 3
NO_DITHER = 8
RECIPES = [("QQ", 0), ("LQ", 1), ("MQ", 2), ("16-bit", 3), ("HQ (20-bit, the helper's)", 4), ("24-bit", 5),
           ("VHQ (28-bit)", 6)]
IN_RATE, OUT_RATE = 22050.0, 16000.0


class Quality(ctypes.Structure):
    _fields_ = [("precision", ctypes.c_double), ("phase_response", ctypes.c_double),
                ("passband_end", ctypes.c_double), ("stopband_begin", ctypes.c_double),
                ("e", ctypes.c_void_p), ("flags", ctypes.c_ulong)]


class IoSpec(ctypes.Structure):
    _fields_ = [("itype", ctypes.c_int), ("otype", ctypes.c_int), ("scale", ctypes.c_double),
                ("e", ctypes.c_void_p), ("flags", ctypes.c_ulong)]


def load():
    soxr = ctypes.CDLL("libsoxr.so.0")
    soxr.soxr_quality_spec.restype = Quality
    soxr.soxr_quality_spec.argtypes = [ctypes.c_ulong, ctypes.c_ulong]
    soxr.soxr_io_spec.restype = IoSpec
    soxr.soxr_io_spec.argtypes = [ctypes.c_int, ctypes.c_int]
    soxr.soxr_oneshot.restype = ctypes.c_char_p
    soxr.soxr_oneshot.argtypes = [ctypes.c_double, ctypes.c_double, ctypes.c_uint, ctypes.c_void_p, ctypes.c_size_t,
                                  ctypes.POINTER(ctypes.c_size_t), ctypes.c_void_p, ctypes.c_size_t,
                                  ctypes.POINTER(ctypes.c_size_t), ctypes.POINTER(IoSpec), ctypes.POINTER(Quality),
                                  ctypes.c_void_p]
    return soxr


def oneshot(soxr, samples, recipe, itype, otype, ctype):
    n_in = len(samples) if itype == INT16_I else len(samples)
    inbuf = (ctypes.c_int16 if itype == INT16_I else ctypes.c_double) * n_in
    src = inbuf(*samples)
    room = int(n_in * OUT_RATE / IN_RATE) + 1024
    out = (ctype * room)()
    done = ctypes.c_size_t(0)
    io = soxr.soxr_io_spec(itype, otype)
    io.flags |= NO_DITHER
    q = soxr.soxr_quality_spec(recipe, 0)
    err = soxr.soxr_oneshot(IN_RATE, OUT_RATE, 1, src, n_in, None, out, room, ctypes.byref(done),
                            ctypes.byref(io), ctypes.byref(q), None)
    if err:
        raise RuntimeError(err.decode())
    return out[:done.value], src


def engine_audio(tts_say):
    """All the sentences' audio, and the first one's alone."""
    pcm, first = array.array("h"), None
    for sentence in texts._SENTENCES:
        table = subprocess.run([tts_say, "--pinyin", sentence], check=True, capture_output=True,
                               text=True).stdout
        pinyin = " ".join(line.split("\t")[1] for line in table.splitlines() if line.split("\t")[1:2] != [""])
        wav = subprocess.run(["espeak-ng", "-v", "cmn-latn-pinyin", "--stdout", pinyin], check=True,
                             capture_output=True).stdout
        pcm.frombytes(wav[44:])
        if first is None:
            first = array.array("h", pcm)
    return pcm, first


def best_time(soxr, pcm, recipe, runs):
    """The best time of a 16-bit to 16-bit conversion without dither, set-up included."""
    src = (ctypes.c_int16 * len(pcm))(*pcm)
    room = int(len(pcm) * OUT_RATE / IN_RATE) + 1024
    dst = (ctypes.c_int16 * room)()
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        done = ctypes.c_size_t(0)
        io = soxr.soxr_io_spec(INT16_I, INT16_I)
        io.flags |= NO_DITHER
        q = soxr.soxr_quality_spec(recipe, 0)
        soxr.soxr_oneshot(IN_RATE, OUT_RATE, 1, src, len(pcm), None, dst, room, ctypes.byref(done),
                          ctypes.byref(io), ctypes.byref(q), None)
        best = min(best, time.perf_counter() - start)
    return best


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    soxr = load()
    pcm, first = engine_audio(os.path.join(args.build, "bin", "tts-say"))
    seconds = len(pcm) / IN_RATE
    floats = [s / 32768.0 for s in pcm]
    reference, _ = oneshot(soxr, floats, 6, FLOAT64_I, FLOAT64_I, ctypes.c_double)
    print(f"{seconds:.1f} s of engine audio, 22050 -> 16000 Hz; 16-bit rounding noise: "
          f"{20 * math.log10(1 / math.sqrt(12) / 32768):.1f} dBFS")
    for name, recipe in RECIPES:
        out, _ = oneshot(soxr, floats, recipe, FLOAT64_I, FLOAT64_I, ctypes.c_double)
        n = min(len(out), len(reference))
        err = math.sqrt(sum((out[i] - reference[i]) ** 2 for i in range(n)) / n)
        per_second = best_time(soxr, pcm, recipe, args.runs) / seconds
        one = best_time(soxr, first, recipe, args.runs * 4)
        level = f"{20 * math.log10(err):.1f} dBFS" if err > 0 else "exact"
        print(f"{name:26s} error {level:>12s}   {1000 * per_second:.3f} ms per second of audio, "
              f"{1000 * one:.2f} ms for the first sentence ({len(first) / IN_RATE:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
