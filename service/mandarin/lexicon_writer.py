# SPDX-License-Identifier: Apache-2.0
"""Writes mandarin.lex in the layout of lexicon_format.h; the two must agree."""
import math
import os
import struct

MAGIC = b"MANDLEX\x01"
VERSION = 1
HEADER_SIZE = 96
NO_SYLLABLE = 0xFFFF
EMPTY_SLOT = 0xFFFFFFFF
FLAG_WORD = 1
FLAG_READING = 2
FLAG_PREFIX = 4
FLAG_DERIVED = 8
COST_SCALE = 1000.0
MAX_CHAR_READINGS = 8


def word_hash(indices):
    """FNV-1a over the two bytes of each character index (WordHash)."""
    h = 2166136261
    for i in indices:
        h = ((h ^ (i & 0xFF)) * 16777619) & 0xFFFFFFFF
        h = ((h ^ (i >> 8)) * 16777619) & 0xFFFFFFFF
    return h


def fnv1a_bytes(data):
    h = 2166136261
    for x in data:
        h = ((h ^ x) * 16777619) & 0xFFFFFFFF
    return h


def pack_u16_pairs(values, pad):
    values = list(values) + ([pad] if len(values) % 2 else [])
    return [values[i] | (values[i + 1] << 16) for i in range(0, len(values), 2)]


class LexiconWriter:
    def __init__(self, chars, max_word):
        """`chars`: the characters of the lexicon, in code point order."""
        if len(chars) >= 0xFFFF:
            raise ValueError("too many characters")
        self.chars = chars
        self.char_index = {c: i for i, c in enumerate(chars)}
        self.max_word = max_word
        self.syllables = {}
        self.syllable_list = []
        self.char_readings = []  # per character: [(syllable, weight)]
        self.entries = {}        # tuple of indices -> [flags, cost, syllable ids or None]
        self.variants = []

    def syllable_id(self, s):
        i = self.syllables.get(s)
        if i is None:
            i = len(self.syllable_list)
            self.syllables[s] = i
            self.syllable_list.append(s)
        return i

    def set_char_readings(self, scored):
        """`scored(c)`: the readings of c with scores, most frequent first."""
        for c in self.chars:
            rs = scored(c)[:MAX_CHAR_READINGS]
            top = rs[0][1] if rs else 1.0
            self.char_readings.append(
                [(self.syllable_id(r), max(1, min(65535, int(round(v / top * 10000))))) for r, v in rs])

    def set_variants(self, to_simplified):
        self.variants = sorted((ord(c), ord(s)) for c, s in to_simplified.items())

    def add_word(self, w, count, total, reading=None, derived=False):
        """A word with its count among `total`, and its reading (syllables,
        None for one left to the reader) if it has one."""
        key = tuple(self.char_index[c] for c in w)
        entry = self.entries.setdefault(key, [0, 65535, None])
        entry[0] |= FLAG_WORD
        entry[1] = int(min(65535, round(-math.log(count / total) * COST_SCALE)))
        if reading:
            entry[0] |= FLAG_READING | (FLAG_DERIVED if derived else 0)
            entry[2] = [self.syllable_id(x) if x else NO_SYLLABLE for x in reading]
        for k in range(1, len(key)):
            self.entries.setdefault(key[:k], [0, 65535, None])[0] |= FLAG_PREFIX

    def _hash_table(self):
        n_slots = 1
        while n_slots < len(self.entries) * 2:
            n_slots *= 2
        slots = [EMPTY_SLOT] * n_slots
        blob = []
        for key, (flags, cost, sy) in self.entries.items():
            offset = len(blob)
            blob.append(len(key) | (flags << 8) | (cost << 16))
            blob.extend(pack_u16_pairs(key, 0))
            if sy:
                blob.extend(pack_u16_pairs(sy, NO_SYLLABLE))
            h = word_hash(key) & (n_slots - 1)
            while slots[h] != EMPTY_SLOT:
                h = (h + 1) & (n_slots - 1)
            slots[h] = offset
        return slots, blob

    def write(self, path, unknown_cost):
        """Writes the file (through a temporary, renamed); returns its size."""
        slots, blob = self._hash_table()
        info, readings = [], []
        for rs in self.char_readings:
            info.append((len(readings), len(rs)))
            readings.extend(rs)
        sections = [
            b"".join(s.encode("ascii").ljust(8, b"\0") for s in self.syllable_list),
            struct.pack("<%dI" % len(self.chars), *(ord(c) for c in self.chars)),
            b"".join(struct.pack("<IHH", first, n, 0) for first, n in info),
            b"".join(struct.pack("<HH", s, w) for s, w in readings),
            b"".join(struct.pack("<II", t, s) for t, s in self.variants),
            struct.pack("<%dI" % len(slots), *slots),
            struct.pack("<%dI" % len(blob), *blob),
        ]
        offsets = []
        pos = HEADER_SIZE
        for s in sections:
            offsets.append(pos)
            pos = (pos + len(s) + 7) & ~7
        size = pos
        header = MAGIC + struct.pack(
            "<19I", VERSION, size,
            len(self.syllable_list), offsets[0],
            len(self.chars), offsets[1], offsets[2],
            len(readings), offsets[3],
            len(self.variants), offsets[4],
            len(slots), offsets[5],
            len(blob), offsets[6],
            unknown_cost, self.max_word, 0, 0)
        header = header.ljust(HEADER_SIZE - 4, b"\0")
        header += struct.pack("<I", fnv1a_bytes(header))
        out = bytearray(header)
        for off, s in zip(offsets, sections):
            out.extend(b"\0" * (off - len(out)))
            out.extend(s)
        out.extend(b"\0" * (size - len(out)))
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(out)
        os.replace(tmp, path)
        return size

    def word_count(self):
        return sum(1 for e in self.entries.values() if e[0] & FLAG_WORD)
