#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Compiles the Mandarin lexicon (mandarin.lex) from Debian's data packages.

Sources:
  rime-data-terra-pinyin  words and characters with tone-numbered readings
                          (traditional script), reading shares per character
  rime-data-pinyin-simp   simplified words, toneless readings with weights
  rime-essay              word frequencies (traditional script)
  unicode-data (Unihan)   kMandarin and kHanyuPinlu readings, and the
                          simplified/traditional variants
  polyphone_stats.tsv     per-character reading counts (optional, ours)

The layout is described in lexicon_format.h; this script and that header
must agree.
"""
import argparse
import bz2
import math
import os
import struct
import sys
import unicodedata

MAGIC = b"MANDLEX\x01"
VERSION = 1
HEADER_SIZE = 96
NO_SYLLABLE = 0xFFFF
FLAG_WORD = 1
FLAG_READING = 2
FLAG_PREFIX = 4
MAX_WORD = 12
COST_SCALE = 1000.0

TONE_MARKS = {
    "ā": ("a", 1), "á": ("a", 2), "ǎ": ("a", 3), "à": ("a", 4),
    "ē": ("e", 1), "é": ("e", 2), "ě": ("e", 3), "è": ("e", 4),
    "ī": ("i", 1), "í": ("i", 2), "ǐ": ("i", 3), "ì": ("i", 4),
    "ō": ("o", 1), "ó": ("o", 2), "ǒ": ("o", 3), "ò": ("o", 4),
    "ū": ("u", 1), "ú": ("u", 2), "ǔ": ("u", 3), "ù": ("u", 4),
    "ǖ": ("v", 1), "ǘ": ("v", 2), "ǚ": ("v", 3), "ǜ": ("v", 4), "ü": ("v", 0),
    "ń": ("n", 2), "ň": ("n", 3), "ǹ": ("n", 4), "ḿ": ("m", 2),
    "ê": ("e", 0), "ế": ("e", 2), "ề": ("e", 4),
}


def fnv1a(indices):
    """The hash of a word given as character indices (lexicon_format.h)."""
    h = 2166136261
    for i in indices:
        h = ((h ^ (i & 0xFF)) * 16777619) & 0xFFFFFFFF
        h = ((h ^ (i >> 8)) * 16777619) & 0xFFFFFFFF
    return h


def is_syllable(s):
    return (2 <= len(s) <= 7 and s[-1] in "12345"
            and s[:-1].isascii() and s[:-1].isalpha() and s[:-1].islower())


def clean_syllable(s):
    """A terra/pinyin reading as [a-z]+[1-5] with v for ü, or None."""
    s = s.strip().lower().replace("u:", "v").replace("ü", "v")
    if s == "r5":
        s = "er5"
    if s[-1:] == "0":
        s = s[:-1] + "5"
    return s if is_syllable(s) else None


def marked_to_numbered(s):
    """kMandarin/kHanyuPinlu pinyin with tone marks to tone numbers."""
    tone = 5
    out = []
    for ch in unicodedata.normalize("NFC", s):
        if ch in TONE_MARKS:
            base, t = TONE_MARKS[ch]
            out.append(base)
            if t:
                tone = t
        else:
            out.append(ch)
    return clean_syllable("".join(out) + str(tone))


def read_tsv_body(path):
    """The data lines of a rime .dict.yaml (after the '...' line)."""
    with open(path, encoding="utf-8") as f:
        body = False
        for line in f:
            line = line.rstrip("\n")
            if not body:
                body = line == "..."
                continue
            if line and not line.startswith("#"):
                yield line.split("\t")


def load_unihan(unicode_dir):
    simp = {}   # char -> simplified variants
    trad = {}   # char -> traditional variants
    with bz2.open(os.path.join(unicode_dir, "Unihan_Variants.txt.bz2"), "rt", encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or "\t" not in line:
                continue
            code, key, value = line.rstrip("\n").split("\t")
            if key not in ("kSimplifiedVariant", "kTraditionalVariant"):
                continue
            c = chr(int(code[2:], 16))
            vs = [chr(int(v.split("<")[0][2:], 16)) for v in value.split()]
            (simp if key == "kSimplifiedVariant" else trad)[c] = vs
    mandarin = {}
    pinlu = {}
    with bz2.open(os.path.join(unicode_dir, "Unihan_Readings.txt.bz2"), "rt", encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or "\t" not in line:
                continue
            code, key, value = line.rstrip("\n").split("\t")
            if key == "kMandarin":
                rs = [marked_to_numbered(v) for v in value.split()]
                mandarin[chr(int(code[2:], 16))] = [r for r in rs if r]
            elif key == "kHanyuPinlu":
                counts = {}
                for item in value.split():
                    p, n = item.rstrip(")").split("(")
                    r = marked_to_numbered(p)
                    if r:
                        counts[r] = counts.get(r, 0) + int(n)
                pinlu[chr(int(code[2:], 16))] = counts
    return simp, trad, mandarin, pinlu


def simplifier(simp):
    """Maps a character to the one form the reader uses. A character that is
    itself one of its simplified forms (乾, 著) stays as it is."""
    table = {}
    for c, vs in simp.items():
        if c not in vs and vs:
            table[c] = vs[0]
    return table


class Builder:
    def __init__(self):
        self.syllables = {}
        self.syllable_list = []

    def syllable_id(self, s):
        i = self.syllables.get(s)
        if i is None:
            i = len(self.syllable_list)
            self.syllables[s] = i
            self.syllable_list.append(s)
        return i


def toneless(s):
    return s[:-1]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--rime", default="/usr/share/rime-data")
    ap.add_argument("--unicode", default="/usr/share/unicode")
    ap.add_argument("--stats", help="per-character reading counts (TSV)")
    ap.add_argument("-o", "--output", required=True)
    args = ap.parse_args()

    simp, trad, mandarin, pinlu = load_unihan(args.unicode)
    to_s = simplifier(simp)

    def s_word(w):
        return "".join(to_s.get(c, c) for c in w)

    # Word frequencies, in simplified script.
    freq = {}
    with open(os.path.join(args.rime, "essay.txt"), encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) != 2 or not parts[1].isdigit():
                continue
            w = s_word(parts[0])
            if len(w) <= MAX_WORD:
                freq[w] = freq.get(w, 0) + int(parts[1])
    trad_freq = {}  # frequency of each character as written, for reading shares
    with open(os.path.join(args.rime, "essay.txt"), encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) == 2 and len(parts[0]) == 1 and parts[1].isdigit():
                trad_freq[parts[0]] = int(parts[1])

    # Terra: character reading shares and word readings.
    terra_char = {}   # char as written -> {syllable: share or None}
    terra_word = {}   # simplified word -> list of readings (tuples)
    for fields in read_tsv_body(os.path.join(args.rime, "terra_pinyin.dict.yaml")):
        if len(fields) < 2:
            continue
        text = fields[0]
        sy = [clean_syllable(x) for x in fields[1].split()]
        if len(sy) != len(text) or None in sy:
            continue
        if len(text) == 1:
            share = None
            if len(fields) >= 3 and fields[2].endswith("%"):
                try:
                    share = float(fields[2][:-1])
                except ValueError:
                    share = None
            terra_char.setdefault(text, {})[sy[0]] = share
        elif len(text) <= MAX_WORD:
            w = s_word(text)
            lst = terra_word.setdefault(w, [])
            if tuple(sy) not in lst:
                lst.append(tuple(sy))

    # pinyin_simp: toneless word readings with weights.
    simp_word = {}  # word -> {toneless reading tuple: weight}
    for fields in read_tsv_body(os.path.join(args.rime, "pinyin_simp.dict.yaml")):
        if len(fields) < 3 or not fields[2].isdigit():
            continue
        w = s_word(fields[0])
        if len(w) > MAX_WORD:
            continue
        toneless_sy = tuple(x.replace("u:", "v").replace("ü", "v") for x in fields[1].split())
        if len(toneless_sy) != len(w):
            continue
        d = simp_word.setdefault(w, {})
        d[toneless_sy] = d.get(toneless_sy, 0) + int(fields[2])

    # Character readings: the shares of the forms each simplified character
    # stands for, weighted by how often each form is written.
    sources = {}
    for c in set(terra_char) | set(mandarin) | set(pinlu):
        s = to_s.get(c, c)
        sources.setdefault(s, set()).add(c)
    char_reading = {}
    for s, forms in sources.items():
        score = {}
        for c in forms:
            w = trad_freq.get(c, 0) + 1
            readings = terra_char.get(c)
            if readings:
                known = [v for v in readings.values() if v is not None]
                total = sum(known)
                for r, v in readings.items():
                    if v is not None and total > 0:
                        share = v / total
                    elif c in pinlu and sum(pinlu[c].values()) > 0:
                        share = pinlu[c].get(r, 0) / sum(pinlu[c].values()) or 0.001
                    elif c in mandarin and mandarin[c] and mandarin[c][0] == r:
                        share = 0.9
                    else:
                        share = 0.1 / len(readings)
                    score[r] = score.get(r, 0.0) + w * max(share, 0.0005)
            elif c in pinlu and sum(pinlu[c].values()) > 0:
                total = sum(pinlu[c].values())
                for r, n in pinlu[c].items():
                    score[r] = score.get(r, 0.0) + w * max(n / total, 0.0005)
            elif c in mandarin:
                for k, r in enumerate(mandarin[c]):
                    score[r] = score.get(r, 0.0) + w * (0.9 if k == 0 else 0.1)
        if score:
            char_reading[s] = score

    if args.stats:
        with open(args.stats, encoding="utf-8") as f:
            for line in f:
                if line.startswith("#") or not line.strip():
                    continue
                c, r, n = line.rstrip("\n").split("\t")
                r = clean_syllable(r)
                if not r:
                    continue
                score = char_reading.setdefault(c, {})
                # Observed counts outweigh the dictionary's shares.
                total = sum(score.values()) or 1.0
                for k in list(score):
                    score[k] = score[k] / total * 0.5
                score[r] = score.get(r, 0.0) + int(n)

    b = Builder()
    chars = sorted(set(char_reading) | {c for w in list(freq) + list(terra_word) + list(simp_word) for c in w})
    chars = [c for c in chars if ord(c) >= 0x2E80]
    if len(chars) >= 0xFFFF:
        sys.exit("too many characters")
    char_index = {c: i for i, c in enumerate(chars)}

    def char_syllables(c):
        score = char_reading.get(c, {})
        return sorted(score.items(), key=lambda kv: (-kv[1], kv[0]))

    def word_reading(w):
        """The reading of a word: terra's, disambiguated by pinyin_simp's
        weights; or pinyin_simp's toneless reading given the tones of the
        characters; or None."""
        options = terra_word.get(w)
        weights = simp_word.get(w, {})
        if options:
            def rank(sy):
                base = tuple(toneless(x) for x in sy)
                neutral = sum(1 for x in sy if x.endswith("5"))
                return (weights.get(base, 0), -neutral * 0)
            return max(options, key=rank)
        if weights:
            base = max(weights.items(), key=lambda kv: kv[1])[0]
            out = []
            for c, t in zip(w, base):
                match = [r for r, _ in char_syllables(c) if toneless(r) == t]
                out.append(match[0] if match else None)
            return tuple(out)
        return None

    words = set(freq) | set(terra_word) | set(simp_word)
    words = {w for w in words if all(c in char_index for c in w) and 1 <= len(w) <= MAX_WORD}
    counts = {}
    for w in words:
        n = freq.get(w, 0)
        if w in simp_word:
            n = max(n, sum(simp_word[w].values()))
        counts[w] = max(n, 1)
    for c in chars:
        counts.setdefault(c, 1)
        words.add(c)
    total = float(sum(counts.values()))
    unknown_cost = int(min(65535, round(math.log(total) * COST_SCALE + 2000)))

    entries = {}  # tuple of indices -> [flags, cost, syllables or None]
    for w in words:
        key = tuple(char_index[c] for c in w)
        cost = int(min(65535, round(-math.log(counts[w] / total) * COST_SCALE)))
        e = entries.setdefault(key, [0, 65535, None])
        e[0] |= FLAG_WORD
        e[1] = cost
        if len(w) > 1:
            r = word_reading(w)
            if r:
                e[0] |= FLAG_READING
                e[2] = [b.syllable_id(x) if x else NO_SYLLABLE for x in r]
        for k in range(1, len(key)):
            p = entries.setdefault(key[:k], [0, 65535, None])
            p[0] |= FLAG_PREFIX

    # Character table.
    char_codes = []
    char_info = []
    readings = []
    for c in chars:
        rs = char_syllables(c)[:8]
        top = rs[0][1] if rs else 1.0
        char_codes.append(ord(c))
        char_info.append((len(readings), len(rs)))
        for r, v in rs:
            readings.append((b.syllable_id(r), max(1, min(65535, int(round(v / top * 10000))))))

    variants = sorted((ord(c), ord(s)) for c, s in to_s.items())

    # Hash table of words and prefixes.
    n_slots = 1
    while n_slots < len(entries) * 2:
        n_slots *= 2
    slots = [0xFFFFFFFF] * n_slots
    blob = []
    for key, (flags, cost, sy) in entries.items():
        offset = len(blob)
        blob.append(len(key) | (flags << 8) | (cost << 16))
        packed = list(key) + ([0] if len(key) % 2 else [])
        blob.extend(packed[i] | (packed[i + 1] << 16) for i in range(0, len(packed), 2))
        if sy:
            packed = list(sy) + ([NO_SYLLABLE] if len(sy) % 2 else [])
            blob.extend(packed[i] | (packed[i + 1] << 16) for i in range(0, len(packed), 2))
        h = fnv1a(key) & (n_slots - 1)
        while slots[h] != 0xFFFFFFFF:
            h = (h + 1) & (n_slots - 1)
        slots[h] = offset

    sections = []
    syl_bytes = b"".join(s.encode("ascii").ljust(8, b"\0") for s in b.syllable_list)
    sections.append(syl_bytes)
    sections.append(struct.pack("<%dI" % len(char_codes), *char_codes))
    sections.append(b"".join(struct.pack("<IHH", first, n, 0) for first, n in char_info))
    sections.append(b"".join(struct.pack("<HH", s, w) for s, w in readings))
    sections.append(b"".join(struct.pack("<II", t, s) for t, s in variants))
    sections.append(struct.pack("<%dI" % len(slots), *slots))
    sections.append(struct.pack("<%dI" % len(blob), *blob))
    offsets = []
    pos = HEADER_SIZE
    for s in sections:
        offsets.append(pos)
        pos += len(s)
        pos = (pos + 7) & ~7
    size = pos
    header = MAGIC + struct.pack(
        "<IIIIIIIIIIIIIIIIIII",
        VERSION, size,
        len(b.syllable_list), offsets[0],
        len(chars), offsets[1], offsets[2],
        len(readings), offsets[3],
        len(variants), offsets[4],
        n_slots, offsets[5],
        len(blob), offsets[6],
        unknown_cost, MAX_WORD, 0, 0)
    header = header.ljust(HEADER_SIZE - 4, b"\0")
    header += struct.pack("<I", fnv1a_bytes(header))
    out = bytearray(header)
    for off, s in zip(offsets, sections):
        out.extend(b"\0" * (off - len(out)))
        out.extend(s)
    out.extend(b"\0" * (size - len(out)))
    tmp = args.output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(out)
    os.replace(tmp, args.output)
    print("mandarin.lex: %d characters, %d words, %d syllables, %d bytes"
          % (len(chars), sum(1 for e in entries.values() if e[0] & FLAG_WORD), len(b.syllable_list), size))


def fnv1a_bytes(data):
    h = 2166136261
    for x in data:
        h = ((h ^ x) * 16777619) & 0xFFFFFFFF
    return h


if __name__ == "__main__":
    main()
