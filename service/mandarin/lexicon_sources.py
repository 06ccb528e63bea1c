# SPDX-License-Identifier: Apache-2.0
"""The data the Mandarin lexicon is compiled from, loaded as it is.

Sources:
  rime-data-terra-pinyin  words and characters with tone-numbered readings
                          (traditional script), reading shares per character
  rime-data-pinyin-simp   simplified words, toneless readings with weights
  rime-essay              word frequencies (traditional script)
  unicode-data (Unihan)   kMandarin, kHanyuPinlu, kXHC1983 and kTGHZ2013
                          readings, and the variants of each character
  polyphone_stats.tsv     per-character reading counts (ours, optional)
  mainland_words.tsv      mainland readings of words (ours, optional)
"""
import bz2
import os
import sys
import unicodedata

MAX_WORD = 12

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


def toneless(s):
    return s[:-1]


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


def read_dict_body(path):
    """The data lines of a rime .dict.yaml (after the '...' line), split."""
    with open(path, encoding="utf-8") as f:
        body = False
        for line in f:
            line = line.rstrip("\n")
            if not body:
                body = line == "..."
                continue
            if line and not line.startswith("#"):
                yield line.split("\t")


def read_own_tsv(path):
    """The lines of one of our TSV files, split, without comments."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.startswith("#") and line.strip():
                yield line.rstrip("\n").split("\t")


class Sources:
    """Everything the compiler reads, in simplified script where a word is
    the key: Unihan's readings and variants, essay's frequencies, terra's
    characters and words, pinyin_simp's words, and our own tables."""

    def __init__(self, rime_dir, unicode_dir, stats_path=None, words_path=None):
        self._load_unihan(unicode_dir)
        self._make_simplifier()
        self._load_essay(os.path.join(rime_dir, "essay.txt"))
        self._load_terra(os.path.join(rime_dir, "terra_pinyin.dict.yaml"))
        self._load_pinyin_simp(os.path.join(rime_dir, "pinyin_simp.dict.yaml"))
        # Ours are keyed as the reader sees the text: simplified by to_s.
        self.observed = self._load_stats(stats_path, self.to_s) if stats_path else {}
        self.own_words = self._load_own_words(words_path, self.s_word) if words_path else {}

    def _load_unihan(self, unicode_dir):
        self.simp = {}      # char -> simplified variants
        self.trad = {}      # char -> traditional variants
        self.semantic = {}  # char -> semantic variants
        tables = {"kSimplifiedVariant": self.simp, "kTraditionalVariant": self.trad,
                  "kSemanticVariant": self.semantic}
        with bz2.open(os.path.join(unicode_dir, "Unihan_Variants.txt.bz2"), "rt", encoding="utf-8") as f:
            for line in f:
                if line.startswith("#") or "\t" not in line:
                    continue
                code, key, value = line.rstrip("\n").split("\t")
                if key in tables:
                    tables[key][chr(int(code[2:], 16))] = [chr(int(v.split("<")[0][2:], 16)) for v in value.split()]
        self.mandarin = {}  # char -> kMandarin readings
        self.pinlu = {}     # char -> {reading: count} of kHanyuPinlu
        self.mainland = {}  # (field, char) -> readings of the mainland dictionaries
        with bz2.open(os.path.join(unicode_dir, "Unihan_Readings.txt.bz2"), "rt", encoding="utf-8") as f:
            for line in f:
                if not ("\tkMandarin\t" in line or "\tkHanyuPinlu\t" in line or "\tkXHC1983\t" in line
                        or "\tkTGHZ2013\t" in line):
                    continue
                code, key, value = line.rstrip("\n").split("\t")
                c = chr(int(code[2:], 16))
                if key == "kMandarin":
                    self.mandarin[c] = [r for r in (marked_to_numbered(v) for v in value.split()) if r]
                elif key == "kHanyuPinlu":
                    counts = {}
                    for item in value.split():
                        p, n = item.rstrip(")").split("(")
                        r = marked_to_numbered(p)
                        if r:
                            counts[r] = counts.get(r, 0) + int(n)
                    self.pinlu[c] = counts
                else:
                    for item in value.split():
                        r = marked_to_numbered(item.split(":")[-1])
                        if r:
                            self.mainland.setdefault((key, c), set()).add(r)

    def _make_simplifier(self):
        """to_s maps a character to the one form the reader uses; one that
        is itself one of its simplified forms (乾, 著) or a character of the
        mainland's 2013 standard table (食, 歌, 吒: Unihan links some of
        them to component forms such as 饣) stays as it is, and `also`
        holds the other simplification of the former (乾 is 干 in 饼干)."""
        standard = {c for (field, c) in self.mainland if field == "kTGHZ2013"}
        self.to_s = {c: vs[0] for c, vs in self.simp.items() if vs and c not in vs and c not in standard}
        # A variant of a traditional character that Unihan links to it only
        # as a semantic variant (爲 of 為) simplifies the same way, when the
        # two are read alike.
        for c, vs in self.semantic.items():
            if c in self.simp or c in self.trad or c in standard or len(vs) != 1 or vs[0] not in self.to_s:
                continue
            if set(self.mandarin.get(c, ())) & set(self.mandarin.get(vs[0], ())):
                self.to_s[c] = self.to_s[vs[0]]
        self.also = {c: next(v for v in vs if v != c) for c, vs in self.simp.items() if c in vs and len(vs) > 1}

    def s_word(self, w):
        return "".join(self.to_s.get(c, c) for c in w)

    def s_forms(self, w):
        """The simplified forms of a word: s_word(w), and the one with the
        other simplification of characters such as 乾."""
        first = self.s_word(w)
        other = "".join(self.also.get(c, c) for c in first)
        return (first,) if other == first else (first, other)

    def _load_essay(self, path):
        self.freq = {}           # simplified word -> count
        self.written_words = {}  # simplified word -> (count, word as written)
        self.written_count = {}  # word as written -> count
        self.char_freq = {}      # character as written -> count
        with open(path, encoding="utf-8") as f:
            for line in f:
                text, _, count = line.rstrip("\n").partition("\t")
                if not count.isdigit() or len(text) > MAX_WORD:
                    continue
                n = int(count)
                if n == 0:
                    continue  # words never seen only slow the segmentation down
                self.written_count[text] = n
                if len(text) == 1:
                    self.char_freq[text] = n
                for w in self.s_forms(text):
                    self.freq[w] = self.freq.get(w, 0) + n
                    if len(w) > 1 and n > self.written_words.get(w, (-1, ""))[0]:
                        self.written_words[w] = (n, text)

    def _load_terra(self, path):
        self.terra_char = {}  # char as written -> {syllable: share or None}
        self.terra_word = {}  # simplified word -> [(word as written, syllables)]
        for fields in read_dict_body(path):
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
                self.terra_char.setdefault(text, {})[sy[0]] = share
            elif len(text) <= MAX_WORD:
                for w in self.s_forms(text):
                    options = self.terra_word.setdefault(w, [])
                    if (text, tuple(sy)) not in options:
                        options.append((text, tuple(sy)))
        self.terra_written = {w: {o[0] for o in options} for w, options in self.terra_word.items()}

    def _load_pinyin_simp(self, path):
        self.simp_word = {}  # word -> {toneless reading: weight}
        for fields in read_dict_body(path):
            if len(fields) < 3 or not fields[2].isdigit():
                continue
            w = self.s_word(fields[0])
            base = tuple(x.replace("u:", "v").replace("ü", "v") for x in fields[1].split())
            if len(w) > MAX_WORD or len(base) != len(w):
                continue
            weights = self.simp_word.setdefault(w, {})
            weights[base] = weights.get(base, 0) + int(fields[2])

    @staticmethod
    def _load_stats(path, to_s):
        observed = {}  # char -> {reading: count}
        for c, r, n in read_own_tsv(path):
            r = clean_syllable(r)
            if r:
                counts = observed.setdefault(to_s.get(c, c), {})
                counts[r] = counts.get(r, 0) + int(n)
        return observed

    @staticmethod
    def _load_own_words(path, s_word):
        own = {}  # word -> syllables
        for w, reading in read_own_tsv(path):
            sy = tuple(clean_syllable(x) for x in reading.split())
            if len(sy) != len(w) or None in sy:
                sys.exit("%s: bad reading of %s" % (path, w))
            own[s_word(w)] = sy
        return own
