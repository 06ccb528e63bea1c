#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Measures tts-server against the engine's own command (espeak-ng writing
its WAV of the same text), in the same run.

  bench/server.py [--build build] [--runs 41] [--overload-seconds 30]

1. one short sentence, one client on a kept-alive connection: median latency
   against the engine command's one-shot time, measured alternately;
2. short sentences, 4 clients, 2 workers: requests per second against a loop
   of the engine's command (phases alternated, three of each);
3. 4x overload (16 clients on 2 workers and 2 queue places) for 30 s: every
   request answered, with audio or with 503 within 0.1 s, and nothing else;
4. 16 KB of text as pcm: the first byte against the whole synthesis;
5. resident memory of the server and its helpers under load (the largest
   sample taken during 2 and 3).

Prints each figure with its target; exits 1 when one is missed."""

import argparse
import http.client
import json
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import texts  # noqa: E402

TARGET_LATENCY_RATIO = 0.35
TARGET_THROUGHPUT_RATIO = 3.0
TARGET_REFUSAL_SECONDS = 0.1
TARGET_FIRST_BYTE_SHARE = 0.10
TARGET_RSS_MIB = 100


class Server:
    def __init__(self, build, workers, queue, extra=()):
        self.proc = subprocess.Popen(
            [os.path.join(build, "bin", "tts-server"), "--listen", "127.0.0.1:0", "--workers", str(workers),
             "--queue", str(queue)] + list(extra), stderr=subprocess.PIPE, text=True)
        line = self.proc.stderr.readline()
        if "listening on http://" not in line:
            sys.exit(f"tts-server did not start: {line}")
        self.port = int(line.rsplit(":", 1)[1])

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=60)

    def rss_mib(self):
        pids = [self.proc.pid]
        task_dir = f"/proc/{self.proc.pid}/task"
        for task in os.listdir(task_dir):
            try:
                with open(f"{task_dir}/{task}/children") as f:
                    pids += [int(p) for p in f.read().split()]
            except OSError:
                pass
        total = 0
        for pid in pids:
            try:
                with open(f"/proc/{pid}/status") as f:
                    total += next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))
            except (OSError, StopIteration):
                pass
        return total / 1024


def speak(conn, text, fmt="wav"):
    body = json.dumps({"input": text, "response_format": fmt})
    conn.request("POST", "/v1/audio/speech", body, {"Content-Type": "application/json"})
    response = conn.getresponse()
    data = response.read()
    return response.status, data


def engine_command(tmp):
    cmd = ["espeak-ng", "-v", "cmn-latn-pinyin", "-w", os.path.join(tmp, "ref.wav"), texts.SHORT]

    def run():
        start = time.perf_counter()
        subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
        return time.perf_counter() - start
    return run


def latency(build, runs, ref):
    server = Server(build, 2, 4)
    try:
        conn = http.client.HTTPConnection("127.0.0.1", server.port)
        speak(conn, texts.SHORT)
        ratios, ours, theirs = [], [], []
        for _ in range(runs):
            r = ref()
            start = time.perf_counter()
            status, _ = speak(conn, texts.SHORT)
            o = time.perf_counter() - start
            if status != 200:
                sys.exit(f"status {status}")
            ratios.append(o / r)
            ours.append(o)
            theirs.append(r)
        return statistics.median(ratios), statistics.median(ours), statistics.median(theirs)
    finally:
        server.stop()


def load(port, clients, seconds, results, lock):
    """`clients` threads sending the short sentence for `seconds`: appends
    (status, seconds) of each request to results."""
    end = time.perf_counter() + seconds

    def client():
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
        while time.perf_counter() < end:
            start = time.perf_counter()
            try:
                status, _ = speak(conn, texts.SHORT)
            except (OSError, http.client.HTTPException) as e:
                status = repr(e)
                conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
            with lock:
                results.append((status, time.perf_counter() - start))
    threads = [threading.Thread(target=client) for _ in range(clients)]
    for t in threads:
        t.start()
    return threads


def sample_rss(server, threads, peak):
    while any(t.is_alive() for t in threads):
        peak[0] = max(peak[0], server.rss_mib())
        time.sleep(0.1)


def throughput(build, ref, seconds, peak):
    server = Server(build, 2, 4)
    ours, theirs = [], []
    try:
        conn = http.client.HTTPConnection("127.0.0.1", server.port)
        speak(conn, texts.SHORT)
        for _ in range(3):
            start = time.perf_counter()
            n = 0
            while time.perf_counter() - start < seconds:
                ref()
                n += 1
            theirs.append(n / (time.perf_counter() - start))
            results, lock = [], threading.Lock()
            start = time.perf_counter()
            threads = load(server.port, 4, seconds, results, lock)
            sample_rss(server, threads, peak)
            for t in threads:
                t.join()
            elapsed = time.perf_counter() - start
            if any(s != 200 for s, _ in results):
                sys.exit("a request failed under load")
            ours.append(len(results) / elapsed)
    finally:
        server.stop()
    return statistics.median(ours) / statistics.median(theirs), statistics.median(ours), statistics.median(theirs)


def overload(build, seconds, peak):
    server = Server(build, 2, 2)
    try:
        results, lock = [], threading.Lock()
        threads = load(server.port, 16, seconds, results, lock)
        sample_rss(server, threads, peak)
        for t in threads:
            t.join()
    finally:
        server.stop()
    audio = sum(1 for s, _ in results if s == 200)
    refused = [t for s, t in results if s == 503]
    other = [s for s, _ in results if s not in (200, 503)]
    refused.sort()
    slowest_refusal = refused[-1] if refused else 0
    p99 = refused[int(len(refused) * 0.99)] if refused else 0
    return audio, len(refused), other, slowest_refusal, p99


def first_byte(build):
    server = Server(build, 2, 4)
    try:
        text = texts.long_text(16 * 1024)
        conn = http.client.HTTPConnection("127.0.0.1", server.port, timeout=120)
        shares = []
        for _ in range(3):
            start = time.perf_counter()
            conn.request("POST", "/v1/audio/speech", json.dumps({"input": text, "response_format": "pcm"}),
                         {"Content-Type": "application/json"})
            response = conn.getresponse()
            response.read(1)
            first = time.perf_counter() - start
            response.read()
            whole = time.perf_counter() - start
            shares.append((first / whole, first, whole))
        return sorted(shares)[1]
    finally:
        server.stop()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--runs", type=int, default=41)
    ap.add_argument("--overload-seconds", type=float, default=30)
    ap.add_argument("--load-seconds", type=float, default=5)
    args = ap.parse_args()
    ok = True
    peak = [0.0]
    with tempfile.TemporaryDirectory() as tmp:
        ref = engine_command(tmp)
        ref()
        ratio, ours, theirs = latency(args.build, args.runs, ref)
        ok &= ratio <= TARGET_LATENCY_RATIO
        print(f"one short sentence, one client: {ours * 1000:.1f} ms against the engine command's "
              f"{theirs * 1000:.1f} ms: median ratio {ratio:.3f}x (target at most {TARGET_LATENCY_RATIO}x)"
              f"{'' if ratio <= TARGET_LATENCY_RATIO else '  MISSED'}")
        ratio, ours, theirs = throughput(args.build, ref, args.load_seconds, peak)
        ok &= ratio >= TARGET_THROUGHPUT_RATIO
        print(f"4 clients, 2 workers: {ours:.1f} requests/s against {theirs:.1f}/s for a loop of the engine "
              f"command: {ratio:.2f}x (target at least {TARGET_THROUGHPUT_RATIO}x)")
    audio, refused, other, slowest, p99 = overload(args.build, args.overload_seconds, peak)
    ok &= not other and slowest <= TARGET_REFUSAL_SECONDS
    print(f"4x overload for {args.overload_seconds:.0f} s: {audio} with audio, {refused} refused with 503 "
          f"(99% within {p99 * 1000:.1f} ms, slowest {slowest * 1000:.1f} ms, target {TARGET_REFUSAL_SECONDS * 1000:.0f} ms), "
          f"{len(other)} other answers {sorted(set(map(str, other)))[:3]}")
    share, first, whole = first_byte(args.build)
    ok &= share <= TARGET_FIRST_BYTE_SHARE
    print(f"16 KB as pcm: first byte after {first:.3f} s of {whole:.3f} s: {share * 100:.1f}% "
          f"(target at most {TARGET_FIRST_BYTE_SHARE * 100:.0f}%)")
    ok &= peak[0] <= TARGET_RSS_MIB
    print(f"resident memory of server and helpers under load, 2 workers: {peak[0]:.1f} MiB "
          f"(target at most {TARGET_RSS_MIB} MiB)")
    print("all targets met" if ok else "a target was missed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
