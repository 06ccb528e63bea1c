#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Compiles the Mandarin lexicon (mandarin.lex) from Debian's data packages.

  compile_lexicon.py [--rime DIR] [--unicode DIR] [--stats TSV] [--words TSV] -o FILE

lexicon_sources.py loads the data (and names it), lexicon_readings.py
decides the readings, lexicon_writer.py writes the file.
"""
import argparse
import math
import os
import sys

# The modules beside this script, without leaving compiled copies in the
# source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lexicon_readings import Readings  # noqa: E402
from lexicon_sources import MAX_WORD, Sources  # noqa: E402
from lexicon_writer import COST_SCALE, LexiconWriter  # noqa: E402

# Our own words count as words of middling frequency when essay does not
# know them, so that segmentation finds them.
OWN_WORD_COUNT = 100


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--rime", default="/usr/share/rime-data")
    ap.add_argument("--unicode", default="/usr/share/unicode")
    ap.add_argument("--stats", help="per-character reading counts (TSV)")
    ap.add_argument("--words", help="word readings that replace the packages' (TSV)")
    ap.add_argument("-o", "--output", required=True)
    args = ap.parse_args()

    src = Sources(args.rime, args.unicode, args.stats, args.words)
    readings = Readings(src)

    chars = sorted(set(readings.char_reading) | {c for w in list(src.freq) + list(src.terra_word)
                                                 + list(src.simp_word) for c in w})
    chars = [c for c in chars if ord(c) >= 0x2E80]
    writer = LexiconWriter(chars, MAX_WORD)

    words = set(src.freq) | set(src.terra_word) | set(src.simp_word) | set(src.own_words)
    words = {w for w in words if all(c in writer.char_index for c in w) and 1 <= len(w) <= MAX_WORD}
    counts = {}
    for w in sorted(words):
        n = src.freq.get(w, 0)
        if w in src.simp_word:
            n = max(n, sum(src.simp_word[w].values()))
        if w in src.own_words:
            n = max(n, OWN_WORD_COUNT)
        counts[w] = max(n, 1)
    for c in chars:
        counts.setdefault(c, 1)
        words.add(c)
    total = float(sum(counts.values()))

    for w in sorted(words):
        reading, derived = readings.word_reading(w) if len(w) > 1 else (None, False)
        writer.add_word(w, counts[w], total, reading, derived)
    writer.set_char_readings(readings.char_syllables)
    writer.set_variants(src.to_s)
    # A character outside the lexicon costs more than any word in it.
    unknown_cost = int(min(65535, round(math.log(total) * COST_SCALE + 2000)))
    size = writer.write(args.output, unknown_cost)
    print("mandarin.lex: %d characters, %d words, %d syllables, %d bytes"
          % (len(chars), writer.word_count(), len(writer.syllable_list), size))


if __name__ == "__main__":
    main()
