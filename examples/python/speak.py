#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Speaks a text into a WAV file through libtts, with ctypes only.

    python3 speak.py [--libdir DIR] TEXT [FILE] < /dev/null

The speech service goes into the global symbol scope first (RTLD_GLOBAL),
because libtts leaves its six service functions for the host to provide.
Without --libdir the libraries are looked up like any shared library
(LD_LIBRARY_PATH, the system's library folders)."""

import argparse
import ctypes
import os
import sys


def load(libdir):
    def path(name):
        return os.path.join(libdir, name) if libdir else name

    ctypes.CDLL(path("libspeech_service.so.1"), mode=ctypes.RTLD_GLOBAL)
    tts = ctypes.CDLL(path("libtts.so.1"))
    tts.text_to_speech.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]
    tts.text_to_speech.restype = ctypes.c_int
    return tts


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--libdir", help="folder holding libtts.so.1 and libspeech_service.so.1")
    ap.add_argument("text")
    ap.add_argument("file", nargs="?", default="speak.wav")
    args = ap.parse_args()

    tts = load(args.libdir)
    sys.stdout.flush()  # the library writes to the same stdout through C stdio
    rc = tts.text_to_speech(args.text.encode("utf-8"), os.fsencode(args.file), b"")
    libc = ctypes.CDLL(None)
    libc.fflush(None)
    print(f"text_to_speech returned {rc}", file=sys.stderr)
    return 0 if rc == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
