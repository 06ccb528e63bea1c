#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""A real browser (headless Chromium) on a page of another origin fetches
speech from tts-server: it gets the audio from a server started with
--cors-origin for that origin, and is refused by one without it.

    check_browser_cors.py TTS_SERVER

Exits 77 (skipped) when chromium-headless-shell is not installed.
"""
import functools
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))


class QuietPages(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def start_server(binary, args):
    """tts-server on a free loopback port; its process and its URL."""
    p = subprocess.Popen([binary, "--listen", "127.0.0.1:0"] + args, stderr=subprocess.PIPE, text=True)
    line = p.stderr.readline()
    m = re.search(r"listening on (http://\S+)", line)
    if not m:
        p.kill()
        sys.exit("tts-server did not start: " + line)
    return p, m.group(1)


def page_outcome(browser, page_url):
    """The text the page shows once its fetch has settled."""
    out = subprocess.run(
        [browser, "--no-sandbox", "--disable-gpu", "--virtual-time-budget=30000", "--dump-dom", page_url],
        capture_output=True, text=True, timeout=120).stdout
    m = re.search(r"<body>(.*?)</body>", out, re.S)
    return m.group(1).strip() if m else out


def main():
    browser = shutil.which("chromium-headless-shell")
    if browser is None:
        print("chromium-headless-shell is not installed: skipped")
        return 77
    with tempfile.TemporaryDirectory() as tmp:
        token = os.path.join(tmp, "token")
        with open(token, "w") as f:
            f.write("t0ken\n")
        handler = functools.partial(QuietPages, directory=HERE)
        pages = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=pages.serve_forever, daemon=True).start()
        origin = "http://127.0.0.1:%d" % pages.server_address[1]
        allowed, allowed_url = start_server(sys.argv[1], ["--token-file", token, "--cors-origin", origin])
        plain, plain_url = start_server(sys.argv[1], ["--token-file", token])
        try:
            got = page_outcome(browser, "%s/page.html?api=%s" % (origin, allowed_url))
            refused = page_outcome(browser, "%s/page.html?api=%s" % (origin, plain_url))
        finally:
            for p in (allowed, plain):
                p.terminate()
                p.wait()
            pages.shutdown()
    failures = 0
    m = re.fullmatch(r"status 200 type audio/wav bytes (\d+)", got)
    if not m or int(m.group(1)) <= 44:
        print("with --cors-origin the page should get the audio, it shows: %r" % got)
        failures += 1
    if refused != "refused TypeError":
        print("without --cors-origin the browser should refuse the answer, the page shows: %r" % refused)
        failures += 1
    print("allowed: %s; not allowed: %s" % (got, refused))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
