#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The three figures of SSML and lexicons, each measured in a process of its
own through the built libspeech_service (speech_service_reading, which
reads SSML and registers lexicons as a session does), pinned to one core
except the lexicon's registration, which reads a large file's two halves
at once on two threads (the median of --runs processes):

  bench/ssml.py [--build build] [--runs 5]

- a 1 MB SSML document (the long Chinese text, every sentence in <s>, with a
  break, a say-as and a prosody every few sentences) against its text plain:
  at most 1.5 times the time;
- a 100,000-entry x-pinyin lexicon: registering it (the first parse, and a
  later begin that finds it cached) under 50 ms, its memory under 20 MiB;
- a 1 KB entity-expansion bomb: refused in under 10 ms with under 1 MiB of
  extra memory.

Exits 1 when a target is missed."""

import argparse
import ctypes
import json
import os
import random
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import texts  # noqa: E402
from libraries import load_reading  # noqa: E402

SYLLABLES = ["ba1", "ma3", "shi4", "zhong1", "guo2", "ren2", "da4", "xiao3", "hao3", "ai4", "qing4", "chong2"]


def status_kib(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def reading(lib, params, data):
    table = ctypes.c_void_p()
    start = time.perf_counter()
    rc = lib.speech_service_reading(params, data, len(data), ctypes.byref(table))
    elapsed = time.perf_counter() - start
    lib.speech_service_free(table)
    return rc, elapsed


def document_of(plain):
    out = ['<?xml version="1.0" encoding="UTF-8"?>\n<speak version="1.1" xml:lang="zh-CN">\n']
    for i, sentence in enumerate(s for s in plain.split("。") if s):
        if i % 7 == 3:
            out.append(f'<s><prosody rate="fast">{sentence}</prosody>。</s><break time="100ms"/>\n')
        elif i % 7 == 5:
            out.append(f'<s>{sentence}<say-as interpret-as="cardinal">{i}</say-as>。</s>\n')
        else:
            out.append(f"<s>{sentence}。</s>\n")
    out.append("</speak>\n")
    return "".join(out)


def bomb():
    doc = '<?xml version="1.0"?>\n<!DOCTYPE speak [\n<!ENTITY a "' + "a" * 500 + '">\n'
    for k in range(1, 10):
        prev, name = chr(ord("a") + k - 1), chr(ord("a") + k)
        doc += f'<!ENTITY {name} "{("&" + prev + ";") * 10}">\n'
    return doc + "]>\n<speak>&j;</speak>"


def write_lexicon(path, entries):
    rng = random.Random(1)
    seen = set()
    with open(path, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<lexicon version="1.0" '
                'xmlns="http://www.w3.org/2005/01/pronunciation-lexicon" alphabet="x-pinyin" xml:lang="zh-CN">\n')
        while len(seen) < entries:
            n = rng.randint(2, 4)
            word = "".join(chr(0x4E00 + rng.randrange(0x5000)) for _ in range(n))
            if word in seen:
                continue
            seen.add(word)
            pinyin = " ".join(rng.choice(SYLLABLES) for _ in range(n))
            f.write(f"  <lexeme><grapheme>{word}</grapheme><phoneme>{pinyin}</phoneme></lexeme>\n")
        f.write("</lexicon>\n")


def measure(args):
    """Runs in the child: prints one JSON line."""
    lib = load_reading(os.path.join(args.build, "lib"))
    reading(lib, b"rdn = 0", "好".encode())  # the Mandarin lexicon mapped, the code paged in
    if args.measure == "document":
        plain = texts.long_text(1 << 20)
        doc = document_of(plain).encode()
        text = plain.encode()
        result = {"plain": [], "ssml": [], "doc_bytes": len(doc)}
        for _ in range(args.runs):
            rc1, t1 = reading(lib, b"rdn = 0", text)
            rc2, t2 = reading(lib, b"rdn = 0", doc)
            if rc1 or rc2:
                raise SystemExit(f"reading failed: {rc1} {rc2}")
            result["plain"].append(t1)
            result["ssml"].append(t2)
    elif args.measure == "lexicon":
        params = f"rdn = 0, lexicons = {args.lexicon}".encode()
        rss0 = status_kib("VmRSS")
        rc, first = reading(lib, params, "好".encode())
        rss1, peak = status_kib("VmRSS"), status_kib("VmHWM")
        again = min(reading(lib, params, "好".encode())[1] for _ in range(args.runs))
        result = {"rc": rc, "first": first, "cached": again, "kept_kib": rss1 - rss0, "peak_kib": peak - rss0}
    else:
        data = bomb().encode()
        rss0 = status_kib("VmRSS")
        rc, elapsed = reading(lib, b"rdn = 0", data)
        result = {"rc": rc, "seconds": elapsed, "bytes": len(data), "extra_kib": status_kib("VmHWM") - rss0}
    print(json.dumps(result))
    return 0


def child(args, what, **extra):
    cmd = [sys.executable, os.path.abspath(__file__), "--build", args.build, "--runs", str(args.runs),
           "--measure", what] + [x for k, v in extra.items() for x in (f"--{k}", v)]
    out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
    return json.loads(out.strip().splitlines()[-1])


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default="build")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--measure", choices=["document", "lexicon", "bomb"], help=argparse.SUPPRESS)
    ap.add_argument("--lexicon", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.measure:
        if args.measure != "lexicon":
            os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})
        return measure(args)

    ok = True
    d = child(args, "document")
    ratio = min(d["ssml"]) / min(d["plain"])
    ok &= ratio <= 1.5
    print(f"1 MB SSML ({d['doc_bytes']} bytes) against its text plain: {min(d['ssml']):.3f} s / "
          f"{min(d['plain']):.3f} s = {ratio:.2f}x (target at most 1.5x)")

    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "big.pls")
        write_lexicon(path, 100000)
        size = os.path.getsize(path)
        runs = [child(args, "lexicon", lexicon=path) for _ in range(args.runs)]
    lx = sorted(runs, key=lambda r: r["first"])[len(runs) // 2]
    if any(r["rc"] != 0 for r in runs):
        raise SystemExit(f"the lexicon was refused: {lx['rc']}")
    ok &= lx["first"] < 0.050 and lx["kept_kib"] < 20 * 1024
    print(f"100,000-entry lexicon ({size / 1e6:.1f} MB): registered in {lx['first'] * 1000:.1f} ms the first time "
          f"(runs {min(r['first'] for r in runs) * 1000:.1f} to {max(r['first'] for r in runs) * 1000:.1f}), "
          f"{lx['cached'] * 1000:.2f} ms when cached; memory kept {lx['kept_kib'] / 1024:.1f} MiB, "
          f"peak {lx['peak_kib'] / 1024:.1f} MiB while parsing (target under 50 ms and 20 MiB)")

    b = child(args, "bomb")
    ok &= b["rc"] == 21021 and b["seconds"] < 0.010 and b["extra_kib"] < 1024
    print(f"entity-expansion bomb ({b['bytes']} bytes): code {b['rc']} in {b['seconds'] * 1000:.3f} ms, "
          f"{b['extra_kib']} KiB extra (target refused under 10 ms, under 1 MiB)")
    print(f"targets: {'met' if ok else 'MISSED'}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
