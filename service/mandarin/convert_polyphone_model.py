#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Converts the trained polyphone reader (a character BiLSTM, NumPy arrays)
into the file the front end maps (mandarin-polyphones.bin).

  convert_polyphone_model.py MODEL_DIR --chars data/polyphone_chars.txt
                             -o mandarin-polyphones.bin [--float]

MODEL_DIR holds chars.txt, classes.txt and the .npy arrays (see its README).
--chars lists the characters the model was trained to read (the model is
asked about no other: its classes lack the readings of the rest).
The embedding is folded into the LSTM input weights: each input character
gets its two input projections (forward, backward; 128 numbers each),
stored as int8 with one float scale per projection (--float keeps them as
float32, to measure what the rounding costs). Everything else stays float32.
Only the standard library is used; the folding takes about a minute.

Layout (little-endian; every section starts on a 16-byte boundary):
  header    "TTSPOLY1", then u32: version, inputs, lookup, hidden, dense,
            classes, class_text_bytes, bos, eos, unk, quantised (1 or 0),
            polyphones, padded to 64 bytes
  codes     u32[lookup]  the characters the vocabulary knows, ascending
  index     u16[lookup]  their input index
  decided   u32[polyphones]  the characters the model reads, ascending
  scales    f32[inputs * 2]                (quantised only)
  proj      i8 or f32[inputs][2][4 * hidden]  W_ih . embedding, gates i f g o
  bias      f32[2][4 * hidden]             b_ih + b_hh
  w_hh      f32[2][hidden][4 * hidden]     recurrent weights, transposed
  hidden_w  f32[dense][2 * hidden], hidden_b f32[dense]
  output_w  f32[classes][dense], output_b f32[classes]
  classes   the class names, NUL-terminated, in order ("lv4" for "lu:4")
"""

import argparse
import ast
import os
import struct
import sys
from array import array

MAGIC = b"TTSPOLY1"
VERSION = 1


def load_npy(path):
    """(shape, flat array of floats) of a little-endian float32 .npy file."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:6] != b"\x93NUMPY":
        raise ValueError("%s: not a .npy file" % path)
    major = data[6]
    if major == 1:
        (hlen,) = struct.unpack_from("<H", data, 8)
        start = 10
    else:
        (hlen,) = struct.unpack_from("<I", data, 8)
        start = 12
    header = ast.literal_eval(data[start:start + hlen].decode("latin-1"))
    if header["descr"] != "<f4" or header["fortran_order"]:
        raise ValueError("%s: expected little-endian float32 in C order" % path)
    values = array("f")
    values.frombytes(data[start + hlen:])
    if sys.byteorder != "little":
        values.byteswap()
    count = 1
    for n in header["shape"]:
        count *= n
    if len(values) != count:
        raise ValueError("%s: %d numbers for shape %s" % (path, len(values), header["shape"]))
    return tuple(header["shape"]), values


def load_lines(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f if line.rstrip("\n") != ""]


def pad16(out):
    out.extend(b"\0" * (-len(out) % 16))


def lookup_table(chars):
    """(code, index) pairs: each single-character entry, and for a full-width
    punctuation mark its ASCII form (the front end reads full-width forms as
    ASCII, and in Chinese text, as in the model's training, punctuation is
    full-width: the ASCII comma of the vocabulary is a rare one). A letter or
    digit keeps its own entry when it has one."""
    table = {}
    for i, ch in enumerate(chars):
        if len(ch) == 1:
            table.setdefault(ord(ch), i)
    for i, ch in enumerate(chars):
        if len(ch) == 1 and 0xFF01 <= ord(ch) <= 0xFF5E:
            ascii_form = chr(ord(ch) - 0xFEE0)
            if ascii_form.isalnum():
                table.setdefault(ord(ascii_form), i)
            else:
                table[ord(ascii_form)] = i
    return sorted(table.items())


def load_polyphones(path):
    with open(path, encoding="utf-8") as f:
        return sorted({ord(c) for line in f if not line.startswith("#") for c in line.strip()})


def convert(model_dir, quantise, polyphones):
    chars = load_lines(os.path.join(model_dir, "chars.txt"))
    classes = [c.replace("u:", "v") for c in load_lines(os.path.join(model_dir, "classes.txt"))]
    arrays = {}
    for name in ("embedding", "forward_w_ih", "forward_w_hh", "forward_b_ih", "forward_b_hh", "backward_w_ih",
                 "backward_w_hh", "backward_b_ih", "backward_b_hh", "hidden_w", "hidden_b", "output_w", "output_b"):
        arrays[name] = load_npy(os.path.join(model_dir, name + ".npy"))
    (inputs, embed), emb = arrays["embedding"]
    (gates, hidden) = arrays["forward_w_hh"][0]
    (dense, both) = arrays["hidden_w"][0]
    (nclass, dense2) = arrays["output_w"][0]
    if (inputs != len(chars) or gates != 4 * hidden or both != 2 * hidden or dense2 != dense
            or nclass != len(classes) or arrays["forward_w_ih"][0] != (gates, embed)):
        raise ValueError("the arrays' shapes do not fit together")
    special = {name: chars.index(name) for name in ("<BOS>", "<EOS>", "<UNK>")}

    lookup = lookup_table(chars)
    class_text = b"".join(c.encode("utf-8") + b"\0" for c in classes)
    out = bytearray(MAGIC)
    out += struct.pack("<12I", VERSION, inputs, len(lookup), hidden, dense, nclass, len(class_text),
                       special["<BOS>"], special["<EOS>"], special["<UNK>"], 1 if quantise else 0, len(polyphones))
    out.extend(b"\0" * (64 - len(out)))
    out += array("I", [c for c, _ in lookup]).tobytes()
    pad16(out)
    out += array("H", [i for _, i in lookup]).tobytes()
    pad16(out)
    out += array("I", polyphones).tobytes()
    pad16(out)

    # The input projections, one row of W_ih at a time over all characters.
    w_ih = [arrays[d + "_w_ih"][1] for d in ("forward", "backward")]
    proj = [[None] * gates for _ in range(inputs * 2)]
    emb_rows = [emb[r * embed:(r + 1) * embed] for r in range(inputs)]
    for d in (0, 1):
        for g in range(gates):
            w = w_ih[d][g * embed:(g + 1) * embed]
            for r in range(inputs):
                proj[r * 2 + d][g] = sum(a * b for a, b in zip(w, emb_rows[r]))
    if quantise:
        scales = array("f")
        q = array("b")
        for row in proj:
            top = max(abs(v) for v in row)
            scale = top / 127.0 if top > 0 else 1.0
            scales.append(scale)
            q.extend(max(-127, min(127, int(round(v / scale)))) for v in row)
        out += scales.tobytes()
        pad16(out)
        out += q.tobytes()
    else:
        out += array("f", [v for row in proj for v in row]).tobytes()
    pad16(out)

    for d in ("forward", "backward"):
        b_ih, b_hh = arrays[d + "_b_ih"][1], arrays[d + "_b_hh"][1]
        out += array("f", [a + b for a, b in zip(b_ih, b_hh)]).tobytes()
    for d in ("forward", "backward"):
        w = arrays[d + "_w_hh"][1]
        out += array("f", [w[g * hidden + j] for j in range(hidden) for g in range(gates)]).tobytes()
    for name in ("hidden_w", "hidden_b", "output_w", "output_b"):
        out += arrays[name][1].tobytes()
    pad16(out)
    out += class_text
    return bytes(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("model_dir")
    ap.add_argument("--chars", required=True, help="the characters the model reads")
    ap.add_argument("-o", "--output", required=True)
    ap.add_argument("--float", action="store_true", help="keep the input projections as float32")
    args = ap.parse_args()
    data = convert(args.model_dir, not args.float, load_polyphones(args.chars))
    tmp = args.output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, args.output)
    print("wrote %s (%d bytes)" % (args.output, len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
