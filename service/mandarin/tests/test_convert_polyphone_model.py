#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The committed polyphone model file is what the converter makes of the
published arrays, when those are beside the checkout (../shared/data);
skipped (77) without them."""

import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
MANDARIN = os.path.dirname(HERE)
ROOT = os.path.dirname(os.path.dirname(MANDARIN))


def main():
    arrays = None
    for up in ("..", os.path.join("..", "..")):
        path = os.path.normpath(os.path.join(ROOT, up, "shared", "data", "polyphone-bilstm"))
        if os.path.isdir(path):
            arrays = path
            break
    if arrays is None:
        print("no polyphone-bilstm arrays beside the checkout: skipped")
        return 77
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "model.bin")
        subprocess.run([sys.executable, os.path.join(MANDARIN, "convert_polyphone_model.py"), arrays, "--chars",
                        os.path.join(MANDARIN, "data", "polyphone_chars.txt"), "-o", out], check=True,
                       stdout=subprocess.DEVNULL)
        with open(out, "rb") as f:
            made = f.read()
    with open(os.path.join(MANDARIN, "data", "mandarin-polyphones.bin"), "rb") as f:
        committed = f.read()
    if made != committed:
        print("data/mandarin-polyphones.bin differs from what convert_polyphone_model.py makes: convert again")
        return 1
    print("the committed model file is the converter's output")
    return 0


if __name__ == "__main__":
    sys.exit(main())
