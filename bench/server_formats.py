#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""tts-server's answer formats: memory and streaming.

  bench/server_formats.py [--build build] [--only memory|stream] [--runs 21]
                          [--load-seconds 5] [--first-byte-runs 3]

memory: for each format, one maximum-length request (the default --max-text
        of text, whose 70-odd minutes of speech are let through by a raised
        --max-audio-seconds) on a fresh server, and an SSML document of many long
        breaks: the server's own peak resident memory (VmHWM), and the
        largest sum of the server's and its helpers' resident memory
        sampled every 50 ms, against TARGET_PEAK_MIB;
stream: mp3, opus and aac against wav at 24 kHz: first byte of 16 KB of
        text against the whole answer (not with --first-byte-runs 0); median
        latency of one short sentence; the requests per second of 4 clients
        on 2 workers.

Prints each figure with its target; exits 1 when one is missed."""

import argparse
import http.client
import json
import os
import statistics
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import texts  # noqa: E402
from server import Server  # noqa: E402

FORMATS = ["wav", "flac", "pcm", "mp3", "opus", "aac"]
MAX_TEXT = 65536
MAX_AUDIO_SECONDS = 4 * 3600     # more than MAX_TEXT bytes of text can say
TARGET_PEAK_MIB = 100            # the server alone, whatever one request asks
TARGET_FIRST_BYTE_SHARE = 0.10
TARGET_LATENCY_RATIO = 1.25      # encoding adds at most 25 % to wav's latency
TARGET_THROUGHPUT_RATIO = 0.80   # 4 clients: at least 80 % of wav's rate
STREAMED = ("mp3", "opus", "aac")  # measured against wav for speed


def post(conn, body):
    conn.request("POST", "/v1/audio/speech", json.dumps(body), {"Content-Type": "application/json"})
    return conn.getresponse()


def vm_hwm_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        return next(int(l.split()[1]) for l in f if l.startswith("VmHWM:")) / 1024


def max_text():
    """Text of just under MAX_TEXT bytes."""
    text = texts.long_text(MAX_TEXT)
    while len(text.encode("utf-8")) > MAX_TEXT:
        text = text[:-1]
    return text


def breaks_document():
    """Many long breaks: 59 minutes of pauses (the service's default limit
    on one text is an hour) in a few KB."""
    return "<speak>" + "一。<break time=\"60s\"/>" * 59 + "</speak>"


def one_request(build, body):
    server = Server(build, 1, 1, ["--max-audio-seconds", str(MAX_AUDIO_SECONDS)])
    peak = [0.0]
    done = threading.Event()

    def sample():
        while not done.is_set():
            peak[0] = max(peak[0], server.rss_mib())
            time.sleep(0.05)
    sampler = threading.Thread(target=sample)
    sampler.start()
    try:
        conn = http.client.HTTPConnection("127.0.0.1", server.port, timeout=3600)
        start = time.perf_counter()
        response = post(conn, body)
        size = 0
        while True:
            piece = response.read(1 << 16)
            if not piece:
                break
            size += len(piece)
        seconds = time.perf_counter() - start
        return response.status, size, seconds, vm_hwm_mib(server.proc.pid), peak[0]
    finally:
        done.set()
        sampler.join()
        server.stop()


def memory(build):
    missed = False
    text = max_text()
    cases = [(fmt, {"input": text, "response_format": fmt}) for fmt in FORMATS]
    cases.append(("wav, SSML of 59 one-minute breaks", {"input": breaks_document(), "response_format": "wav"}))
    cases.append(("flac, SSML of 59 one-minute breaks", {"input": breaks_document(), "response_format": "flac"}))
    print(f"peak resident memory, one request of {len(text.encode('utf-8'))} bytes of text (target: server < {TARGET_PEAK_MIB} MiB)")
    for name, body in cases:
        status, size, seconds, server_mib, total_mib = one_request(build, body)
        ok = server_mib < TARGET_PEAK_MIB
        missed |= not ok
        print(f"  {name:38} status {status}, {size / 2**20:7.1f} MiB in {seconds:6.1f} s: "
              f"server {server_mib:5.1f} MiB, server and helpers {total_mib:5.1f} MiB{'' if ok else '  MISSED'}")
    return missed


def first_byte(port, fmt, text, runs):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=1800)
    shares = []
    for _ in range(runs):
        start = time.perf_counter()
        response = post(conn, {"input": text, "response_format": fmt})
        response.read(1)
        first = time.perf_counter() - start
        response.read()
        shares.append((first / (time.perf_counter() - start), first, time.perf_counter() - start))
    return sorted(shares)[len(shares) // 2]


def latency(port, fmt, runs):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        response = post(conn, {"input": texts.SHORT, "response_format": fmt})
        response.read()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def throughput(port, fmt, seconds):
    end = time.perf_counter() + seconds
    done, lock = [0], threading.Lock()

    def client():
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
        while time.perf_counter() < end:
            response = post(conn, {"input": texts.SHORT, "response_format": fmt})
            response.read()
            if response.status != 200:
                sys.exit(f"{fmt}: status {response.status} under load")
            with lock:
                done[0] += 1
    start = time.perf_counter()
    threads = [threading.Thread(target=client) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return done[0] / (time.perf_counter() - start)


def stream(build, runs, seconds, first_byte_runs):
    missed = False
    server = Server(build, 2, 4)
    try:
        text = texts.long_text(16 * 1024)
        latency(server.port, "wav", 3)
        # Alternated so that both formats see the same machine.
        lat = {fmt: [] for fmt in ("wav",) + STREAMED}
        rate = {fmt: [] for fmt in ("wav",) + STREAMED}
        for _ in range(3):
            for fmt in lat:
                lat[fmt].append(latency(server.port, fmt, runs // 3))
                rate[fmt].append(throughput(server.port, fmt, seconds))
        wav_latency, wav_rate = statistics.median(lat["wav"]), statistics.median(rate["wav"])
        print(f"wav: latency {wav_latency * 1000:.1f} ms, {wav_rate:.1f} requests/s with 4 clients on 2 workers")
        for fmt in STREAMED:
            ratio = statistics.median(lat[fmt]) / wav_latency
            through = statistics.median(rate[fmt]) / wav_rate
            checks = [ratio <= TARGET_LATENCY_RATIO, through >= TARGET_THROUGHPUT_RATIO]
            if first_byte_runs > 0:
                share, first, whole = first_byte(server.port, fmt, text, first_byte_runs)
                checks.append(share <= TARGET_FIRST_BYTE_SHARE)
                print(f"{fmt}: first byte of 16 KB {first:.2f} s of {whole:.2f} s = {share:.1%} (target <= 10%)"
                      f"{'' if checks[-1] else '  MISSED'}")
            missed |= not all(checks)
            print(f"{fmt}: latency {statistics.median(lat[fmt]) * 1000:.1f} ms = {ratio:.2f} x wav (target <= 1.25){'' if checks[0] else '  MISSED'}")
            print(f"{fmt}: {statistics.median(rate[fmt]):.1f} requests/s = {through:.0%} of wav (target >= 80%){'' if checks[1] else '  MISSED'}")
    finally:
        server.stop()
    return missed


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--only", choices=["memory", "stream"])
    ap.add_argument("--runs", type=int, default=21)
    ap.add_argument("--load-seconds", type=float, default=5)
    ap.add_argument("--first-byte-runs", type=int, default=3)
    args = ap.parse_args()
    missed = False
    if args.only != "stream":
        missed |= memory(args.build)
    if args.only != "memory":
        missed |= stream(args.build, args.runs, args.load_seconds, args.first_byte_runs)
    sys.exit(1 if missed else 0)


if __name__ == "__main__":
    main()
