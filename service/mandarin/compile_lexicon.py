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
  mainland_words.tsv      mainland readings of words the packages give in
                          other tones (optional, ours)

The layout is described in lexicon_format.h; this script and that header
must agree.
"""
import argparse
import bz2
import functools
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
FLAG_DERIVED = 8
MAX_WORD = 12
# Characters that stay light at the end of a word (the lexicon's neutral
# tones are kept for them, and made full for the others).
LIGHT_SUFFIXES = set("子们么的了着过吗呢吧啊得")
FULL_TONES_IN_WORDS = True

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
    semantic = {}  # char -> semantic variants
    with bz2.open(os.path.join(unicode_dir, "Unihan_Variants.txt.bz2"), "rt", encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or "\t" not in line:
                continue
            code, key, value = line.rstrip("\n").split("\t")
            if key not in ("kSimplifiedVariant", "kTraditionalVariant", "kSemanticVariant"):
                continue
            c = chr(int(code[2:], 16))
            vs = [chr(int(v.split("<")[0][2:], 16)) for v in value.split()]
            {"kSimplifiedVariant": simp, "kTraditionalVariant": trad, "kSemanticVariant": semantic}[key][c] = vs
    mandarin = {}
    pinlu = {}
    mainland = {}  # (field, char) -> readings of the mainland dictionaries
    with bz2.open(os.path.join(unicode_dir, "Unihan_Readings.txt.bz2"), "rt", encoding="utf-8") as f:
        for line in f:
            if not ("\tkMandarin\t" in line or "\tkHanyuPinlu\t" in line or "\tkXHC1983\t" in line
                    or "\tkTGHZ2013\t" in line):
                continue
            code, key, value = line.rstrip("\n").split("\t")
            if key == "kMandarin":
                rs = [marked_to_numbered(v) for v in value.split()]
                mandarin[chr(int(code[2:], 16))] = [r for r in rs if r]
            elif key in ("kXHC1983", "kTGHZ2013"):
                c = chr(int(code[2:], 16))
                for item in value.split():
                    r = marked_to_numbered(item.split(":")[-1])
                    if r:
                        mainland.setdefault((key, c), set()).add(r)
            elif key == "kHanyuPinlu":
                counts = {}
                for item in value.split():
                    p, n = item.rstrip(")").split("(")
                    r = marked_to_numbered(p)
                    if r:
                        counts[r] = counts.get(r, 0) + int(n)
                pinlu[chr(int(code[2:], 16))] = counts
    return simp, trad, semantic, mandarin, pinlu, mainland


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


def complete_shares(readings):
    """Terra gives shares to some readings of a character; the rest share
    what is left (只 zhi1 0.1% and zhi3 without one: zhi3 has 99.9%)."""
    known = {r: v for r, v in readings.items() if v is not None}
    missing = [r for r, v in readings.items() if v is None]
    if not known:
        return None
    left = max(0.0, 100.0 - sum(known.values()))
    for r in missing:
        known[r] = left / len(missing)
    return known


def toneless(s):
    return s[:-1]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--rime", default="/usr/share/rime-data")
    ap.add_argument("--unicode", default="/usr/share/unicode")
    ap.add_argument("--stats", help="per-character reading counts (TSV)")
    ap.add_argument("--words", help="word readings that replace the packages' (TSV)")
    ap.add_argument("-o", "--output", required=True)
    args = ap.parse_args()

    simp, trad, semantic, mandarin, pinlu, mainland = load_unihan(args.unicode)
    to_s = simplifier(simp)
    # A variant of a traditional character that Unihan links to it only as
    # a semantic variant (爲 of 為) simplifies the same way, when the two
    # are read alike.
    for c, vs in semantic.items():
        if c in simp or c in trad or len(vs) != 1 or vs[0] not in to_s:
            continue
        if set(mandarin.get(c, ())) & set(mandarin.get(vs[0], ())):
            to_s[c] = to_s[vs[0]]

    def s_word(w):
        return "".join(to_s.get(c, c) for c in w)

    # Characters that are simplified forms themselves and also simplify to
    # another (乾 stays 乾 in 乾坤 but is 干 in 饼干).
    also = {c: next(v for v in vs if v != c) for c, vs in simp.items() if c in vs and len(vs) > 1}

    def s_forms(w):
        """The simplified forms of a word: s_word(w), and the one with the
        other simplification of such characters."""
        first = s_word(w)
        other = "".join(also.get(c, c) for c in first)
        return (first,) if other == first else (first, other)

    # Word frequencies, in simplified script, and the words as written.
    freq = {}
    written_words = {}  # simplified word -> (count, word as written)
    written_count = {}  # word as written -> count
    trad_freq = {}      # frequency of each character as written
    with open(os.path.join(args.rime, "essay.txt"), encoding="utf-8") as f:
        for line in f:
            text, _, count = line.rstrip("\n").partition("\t")
            if not count.isdigit() or len(text) > MAX_WORD:
                continue
            n = int(count)
            if n == 0:
                continue  # words never seen only slow the segmentation down
            written_count[text] = n
            if len(text) == 1:
                trad_freq[text] = n
            for w in s_forms(text):
                freq[w] = freq.get(w, 0) + n
                if len(w) > 1 and n > written_words.get(w, (-1, ""))[0]:
                    written_words[w] = (n, text)

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
            for w in s_forms(text):
                lst = terra_word.setdefault(w, [])
                if (text, tuple(sy)) not in lst:
                    lst.append((text, tuple(sy)))

    written_of_terra = {}
    for w, options in terra_word.items():
        written_of_terra[w] = {o[0] for o in options}

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

    @functools.lru_cache(maxsize=None)
    def mainland_of(c):
        """The readings the mainland dictionaries give a character: the
        2013 standard's, or the 1983 dictionary's for it or its traditional
        forms; empty when they do not know it."""
        out = set(mainland.get(("kTGHZ2013", c), ()))
        if out:
            return out
        out = set(mainland.get(("kXHC1983", c), ()))
        if not out:
            for t in trad.get(c, ()):
                out |= mainland.get(("kXHC1983", t), set())
        if c in mandarin and mandarin[c]:
            out.add(mandarin[c][0])
        out |= set(pinlu.get(c, {}))
        return out

    @functools.lru_cache(maxsize=None)
    def written_default(c, prefer=()):
        """The reading terra implies for a character as written: a word
        terra leaves out is read with these. Ties go to the reading
        `prefer` ranks first."""
        readings = terra_char.get(c)
        if not readings:
            return None
        if len(readings) == 1:
            return next(iter(readings))
        shares = complete_shares(readings)
        if not shares or max(shares.values()) <= 0:
            shares = {r: float(pinlu.get(c, {}).get(r, 0)) for r in readings}
            if c in mandarin and mandarin[c] and mandarin[c][0] in shares:
                shares[mandarin[c][0]] += 0.5
        top = max(shares.values())
        tied = sorted(r for r, v in shares.items() if v >= top - 1e-9)
        if len(tied) > 1 and prefer:
            tied.sort(key=lambda r: prefer.index(r) if r in prefer else len(prefer))
        return tied[0]

    # Character readings: the shares of the forms each simplified character
    # stands for, weighted by how often each form is written.
    sources = {}
    for c in sorted(set(terra_char) | set(mandarin) | set(pinlu)):
        sources.setdefault(to_s.get(c, c), set()).add(c)
    char_reading = {}
    for s, forms in sources.items():
        score = {}
        for c in sorted(forms):
            w = trad_freq.get(c, 0) + 1
            readings = terra_char.get(c)
            if readings:
                shares = complete_shares(readings) or {}
                total = sum(shares.values())
                for r in readings:
                    if r in shares and total > 0:
                        share = shares[r] / total
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
        # Readings only the Taiwan tradition gives (综 zong4) come last.
        ml = mainland_of(s)
        if ml and any(r in ml for r in score):
            for r in score:
                if r not in ml and not r.endswith("5"):
                    score[r] *= 1e-6
        if score:
            char_reading[s] = score

    # The dictionaries' own shares, before any observed counts: the tones
    # given to pinyin_simp's toneless words come from these.
    dictionary_reading = {c: dict(v) for c, v in char_reading.items()}

    if args.stats:
        observed = {}
        with open(args.stats, encoding="utf-8") as f:
            for line in f:
                if line.startswith("#") or not line.strip():
                    continue
                c, r, n = line.rstrip("\n").split("\t")
                r = clean_syllable(r)
                if r:
                    observed.setdefault(c, {})[r] = int(n)
        for c, counts in observed.items():
            # Observed counts outweigh the dictionary's shares, which only
            # order the readings never observed.
            score = char_reading.setdefault(c, {})
            total = sum(score.values()) or 1.0
            for r in score:
                score[r] = score[r] / total * 0.5
            for r, n in counts.items():
                score[r] = score.get(r, 0.0) + n

    b = Builder()
    chars = sorted(set(char_reading) | {c for w in list(freq) + list(terra_word) + list(simp_word) for c in w})
    chars = [c for c in chars if ord(c) >= 0x2E80]
    if len(chars) >= 0xFFFF:
        sys.exit("too many characters")
    char_index = {c: i for i, c in enumerate(chars)}

    @functools.lru_cache(maxsize=None)
    def char_syllables(c):
        score = char_reading.get(c, {})
        return sorted(score.items(), key=lambda kv: (-kv[1], kv[0]))

    @functools.lru_cache(maxsize=None)
    def mainland_fix(c, r, t):
        """A word's syllable in the mainland standard: a tone only the
        Taiwan tradition gives (综合 zong4 he2) becomes the mainland one. A
        light syllable in a word is read with its full tone (衣服 fu2, 困难
        nan2) unless the character is a light suffix. `t` is the character
        as written."""
        if r is None:
            return r
        if r.endswith("5"):
            if c in LIGHT_SUFFIXES or not FULL_TONES_IN_WORDS:
                return r
            full = [x for x in [default_of(t)] + [x for x, _ in char_syllables(c)]
                    if x and toneless(x) == toneless(r) and not x.endswith("5")]
            return full[0] if full else r
        ml = mainland_of(c)
        if not ml or r in ml:
            return r
        same = [x for x in [default_of(t)] + [x for x, _ in char_syllables(c)]
                if x and toneless(x) == toneless(r) and x in ml]
        same += sorted(x for x in ml if toneless(x) == toneless(r))
        if same:
            return same[0]
        # A character the mainland reads one way only (暂 zan4, not zhan4).
        full = [x for x in ml if not x.endswith("5")]
        return full[0] if len(full) == 1 else r

    @functools.lru_cache(maxsize=None)
    def default_of(t):
        # A simplified character in a word written in simplified script
        # stands for its one traditional form.
        forms = trad.get(t, ())
        if len(forms) == 1 and forms[0] != t:
            t = forms[0]
        return written_default(t, tuple(r for r, _ in char_syllables(to_s.get(t, t))))

    @functools.lru_cache(maxsize=None)
    def usual_of(t):
        """The usual reading of a written character: its own when it is one
        of several a simplified one stands for, else the simplified one's."""
        s = to_s.get(t, t)
        if len(trad.get(s, ())) > 1:
            return default_of(t)
        rs = char_syllables(s)
        return rs[0][0] if rs else None

    @functools.lru_cache(maxsize=None)
    def heard_share(c, x):
        """How often the mainland hears character c read x (kHanyuPinlu)."""
        counts = pinlu.get(c, {})
        total = sum(counts.values())
        return counts.get(x, 0) / total if total else 0.0

    def rank(written, sy, weights):
        """How likely one of terra's readings of a word is: by pinyin_simp's
        weight, how often the written form occurs, how many characters
        keep their usual reading, full tones before neutral ones but for
        the suffixes that are light (桌子 zi5), and how often the mainland
        hears each syllable (着急 zhao2, not zhao1)."""
        base = tuple(toneless(x) for x in sy)
        agree = sum(1 for c, x in zip(written, sy) if usual_of(c) == x)
        neutral = sum(1 if c not in LIGHT_SUFFIXES else -1 for c, x in zip(w_of(written), sy) if x.endswith("5"))
        heard = sum(heard_share(c, x) for c, x in zip(w_of(written), sy))
        return (weights.get(base, 0), written_count.get(written, 0), agree, -neutral, heard)

    @functools.lru_cache(maxsize=None)
    def w_of(written):
        return s_word(written)

    @functools.lru_cache(maxsize=None)
    def terra_reading(w):
        """Terra's reading of a word and the form it is written in: the
        likeliest when it gives several, or when the word is mostly written
        in a form terra leaves out (症狀 against terra's 癥狀), that form's."""
        options = list(terra_word.get(w, ()))
        if not options:
            return None
        if w in written_words and all(o[0] != written_words[w][1] for o in options):
            written = written_words[w][1]
            options.append((written, tuple(derived_reading(w, written))))
        weights = simp_word.get(w, {})
        return max(options, key=lambda o: rank(o[0], o[1], weights))

    def derived_reading(w, written):
        """A word terra leaves out reads as its longest terra words from the
        left and the other characters with terra's usual reading of them as
        written: terra leaves out exactly the words read that way."""
        out = []
        i = 0
        while i < len(w):
            for j in range(len(w), i + 1, -1):
                if j - i < len(w) and w[i:j] in terra_word:
                    out.extend(terra_reading(w[i:j])[1])
                    i = j
                    break
            else:
                out.append(default_of(written[i]))
                i += 1
        return out

    def simp_tones(w, base, known=None):
        """pinyin_simp's toneless reading `base` of a word with tones: those
        of `known` where it agrees, else the likeliest tone of each
        character for that syllable."""
        out = []
        for k, (c, t) in enumerate(zip(w, base)):
            if known and known[k] and toneless(known[k]) == t:
                out.append(known[k])
                continue
            shares = dictionary_reading.get(c, {})
            match = sorted((r for r in shares if toneless(r) == t), key=lambda r: -shares[r])
            out.append(match[0] if match else None)
        return tuple(out)

    def word_reading(w):
        """The reading of a word, and whether it was derived rather than
        given: terra's; or for a word terra leaves out, one derived from
        terra's shorter words and characters, with the syllables
        pinyin_simp gives (长大 zhang da, not chang2 from 長); or
        pinyin_simp's toneless reading given the tones of the characters;
        or None."""
        weights = simp_word.get(w, {})
        top = max(weights.items(), key=lambda kv: kv[1])[0] if weights else None
        found = terra_reading(w)
        derived = found is None or found[0] not in written_of_terra.get(w, ())
        if found is None and w in written_words:
            written = written_words[w][1]
            found = (written, derived_reading(w, written))
        if found is not None and any(found[1]):
            written, sy = found
            sy = tuple(mainland_fix(c, x, t) for c, x, t in zip(w, sy, written))
            if derived and top:
                sy = simp_tones(w, top, sy)
            return sy, derived
        if top:
            return simp_tones(w, top), True
        return None, False

    own_words = {}
    if args.words:
        with open(args.words, encoding="utf-8") as f:
            for line in f:
                if line.startswith("#") or not line.strip():
                    continue
                w, reading = line.rstrip("\n").split("\t")
                sy = tuple(clean_syllable(x) for x in reading.split())
                if len(sy) != len(w) or None in sy:
                    sys.exit("%s: bad reading of %s" % (args.words, w))
                own_words[w] = sy

    words = set(freq) | set(terra_word) | set(simp_word) | set(own_words)
    words = {w for w in words if all(c in char_index for c in w) and 1 <= len(w) <= MAX_WORD}
    counts = {}
    for w in sorted(words):
        n = freq.get(w, 0)
        if w in simp_word:
            n = max(n, sum(simp_word[w].values()))
        counts[w] = max(n, 1)
    for c in chars:
        counts.setdefault(c, 1)
        words.add(c)
    total = float(sum(counts.values()))
    unknown_cost = int(min(65535, round(math.log(total) * COST_SCALE + 2000)))

    polyphonic = {c for c, score in char_reading.items() if len(score) > 1}
    own_starts = {w[0] for w in own_words}

    def with_own_words(w, r):
        """A longer word reads our words inside it our way (蒸馏水)."""
        r = list(r)
        for own, sy in own_words.items():
            at = w.find(own)
            while at >= 0:
                r[at:at + len(own)] = sy
                at = w.find(own, at + 1)
        return tuple(r)

    entries = {}  # tuple of indices -> [flags, cost, syllables or None]
    for w in sorted(words):
        key = tuple(char_index[c] for c in w)
        cost = int(min(65535, round(-math.log(counts[w] / total) * COST_SCALE)))
        e = entries.setdefault(key, [0, 65535, None])
        e[0] |= FLAG_WORD
        e[1] = cost
        # A word of characters with one reading each reads as they do.
        if len(w) > 1 and (w in own_words or any(c in polyphonic for c in w)):
            r, derived = (own_words[w], False) if w in own_words else word_reading(w)
            if r and own_starts.intersection(w) and w not in own_words:
                r = with_own_words(w, r)
            if r:
                e[0] |= FLAG_READING | (FLAG_DERIVED if derived else 0)
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
