#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Measures tts-server's Wyoming side against its HTTP API, in the same run.

  bench/wyoming.py [--build build] [--runs 41]

1. one short sentence, one client on a kept connection each way: the median
   time to the first audio-chunk against the median time to the first byte
   of HTTP pcm at the same rate, measured alternately (target: <= 1.1x);
2. the streaming flow with text arriving as a language model writes it (a
   piece every 150 ms): the first sentence's audio starts before the last
   piece is sent.

Prints each figure with its target; exits 1 when one is missed."""

import argparse
import http.client
import json
import os
import socket
import statistics
import subprocess
import sys
import threading
import time

TARGET_FIRST_CHUNK_RATIO = 1.1
SENTENCE = "今天天气很好，我们去公园散步吧。"
STREAM_PIECES = ["今天天气", "很好。", "我们去", "公园散步", "吧！", "晚上", "回家", "吃饭。"]
PIECE_GAP = 0.15


class Wyoming:
    """A client written from the protocol's description."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.file = self.sock.makefile("rb")

    def send(self, kind, data=None):
        extra = json.dumps(data).encode() if data else b""
        header = {"type": kind}
        if extra:
            header["data_length"] = len(extra)
        self.sock.sendall(json.dumps(header).encode() + b"\n" + extra)

    def next(self):
        header = json.loads(self.file.readline())
        data = header.get("data") or {}
        if header.get("data_length"):
            data.update(json.loads(self.file.read(header["data_length"])))
        payload = self.file.read(header.get("payload_length") or 0)
        return header["type"], data, payload


def start_server(build):
    proc = subprocess.Popen([os.path.join(build, "bin", "tts-server"), "--listen", "127.0.0.1:0", "--wyoming",
                             "127.0.0.1:0"], stderr=subprocess.PIPE, text=True)
    http_line, wyoming_line = proc.stderr.readline(), proc.stderr.readline()
    if "wyoming on tcp://" not in wyoming_line:
        sys.exit(f"tts-server did not start: {http_line}{wyoming_line}")
    return proc, int(http_line.rsplit(":", 1)[1]), int(wyoming_line.rsplit(":", 1)[1])


def wyoming_first_chunk(client):
    start = time.perf_counter()
    client.send("synthesize", {"text": SENTENCE})
    first = None
    while True:
        kind, _, _ = client.next()
        if kind == "audio-chunk" and first is None:
            first = time.perf_counter() - start
        if kind in ("audio-stop", "error"):
            return first


def http_first_byte(conn):
    body = json.dumps({"input": SENTENCE, "response_format": "pcm", "sample_rate": 16000})
    start = time.perf_counter()
    conn.request("POST", "/v1/audio/speech", body, {"Content-Type": "application/json"})
    response = conn.getresponse()
    response.read(1)
    first = time.perf_counter() - start
    response.read()
    return first


def streaming(client, start):
    """Sends the pieces; seconds from `start` to the last one."""
    client.send("synthesize-start", {"voice": {"language": "zh_CN"}})
    for piece in STREAM_PIECES:
        client.send("synthesize-chunk", {"text": piece})
        time.sleep(PIECE_GAP)
    last_piece = time.perf_counter() - start
    client.send("synthesize", {"text": "".join(STREAM_PIECES)})
    client.send("synthesize-stop")
    return last_piece


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=41)
    args = parser.parse_args()
    proc, http_port, wyoming_port = start_server(args.build)
    failed = False
    try:
        client = Wyoming(wyoming_port)
        conn = http.client.HTTPConnection("127.0.0.1", http_port)
        wyoming_first_chunk(client), http_first_byte(conn)  # warm both
        w, h = [], []
        for _ in range(args.runs):
            w.append(wyoming_first_chunk(client))
            h.append(http_first_byte(conn))
        wm, hm = statistics.median(w), statistics.median(h)
        ratio = wm / hm
        ok = ratio <= TARGET_FIRST_CHUNK_RATIO
        failed |= not ok
        print(f"first audio, one short sentence ({args.runs} runs each, alternated): wyoming {wm * 1000:.1f} ms, "
              f"http pcm first byte {hm * 1000:.1f} ms, ratio {ratio:.2f} (target <= {TARGET_FIRST_CHUNK_RATIO})"
              f" {'ok' if ok else 'MISSED'}")

        # Streaming: a reader thread dates the first audio-chunk as it comes.
        stream_client = Wyoming(wyoming_port)
        first_audio = {}

        def reader(t0):
            while True:
                kind, _, _ = stream_client.next()
                if kind == "audio-chunk" and "at" not in first_audio:
                    first_audio["at"] = time.perf_counter() - t0
                if kind in ("synthesize-stopped", "error"):
                    return

        t0 = time.perf_counter()
        thread = threading.Thread(target=reader, args=(t0,))
        thread.start()
        last_piece = streaming(stream_client, t0)
        thread.join(timeout=60)
        first = first_audio.get("at", float("inf"))
        ok = first < last_piece
        failed |= not ok
        print(f"streaming ({len(STREAM_PIECES)} pieces {PIECE_GAP * 1000:.0f} ms apart): first audio at "
              f"{first * 1000:.0f} ms, last piece sent at {last_piece * 1000:.0f} ms (target: before it) "
              f"{'ok' if ok else 'MISSED'}")
    finally:
        proc.terminate()
        proc.wait(timeout=60)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
