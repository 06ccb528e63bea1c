# SPDX-License-Identifier: Apache-2.0
"""The readings the Mandarin lexicon gives: each character's, most
frequent first, and each word's, in the mainland standard."""
import functools

from lexicon_sources import complete_shares, toneless

# Characters that stay light at the end of a word: the lexicon's neutral
# tones are kept for them, and made full for the others (衣服 fu2).
LIGHT_SUFFIXES = set("子们么的了着过吗呢吧啊得")


class Readings:
    def __init__(self, sources):
        self.src = sources
        self.char_reading = self._char_readings()
        # The dictionaries' own shares, before any observed counts: the
        # tones given to pinyin_simp's toneless words come from these.
        self.dictionary_reading = {c: dict(v) for c, v in self.char_reading.items()}
        self._add_observed(sources.observed)
        self.polyphonic = {c for c, score in self.char_reading.items() if len(score) > 1}
        self._own_starts = {w[0] for w in sources.own_words}

    # Characters.

    @functools.lru_cache(maxsize=None)
    def mainland_of(self, c):
        """The readings the mainland dictionaries give a character: the 2013
        standard's, or the 1983 dictionary's for it or its traditional
        forms; empty when they do not know it."""
        src = self.src
        out = set(src.mainland.get(("kTGHZ2013", c), ()))
        if out:
            return out
        out = set(src.mainland.get(("kXHC1983", c), ()))
        if not out:
            for t in src.trad.get(c, ()):
                out |= src.mainland.get(("kXHC1983", t), set())
        if c in src.mandarin and src.mandarin[c]:
            out.add(src.mandarin[c][0])
        out |= set(src.pinlu.get(c, {}))
        return out

    def _char_readings(self):
        """The shares of the readings of each simplified character: those
        of the written forms it stands for, weighted by how often each form
        is written."""
        src = self.src
        forms_of = {}
        for c in sorted(set(src.terra_char) | set(src.mandarin) | set(src.pinlu)):
            forms_of.setdefault(src.to_s.get(c, c), set()).add(c)
        char_reading = {}
        for s, forms in forms_of.items():
            score = {}
            for c in sorted(forms):
                self._add_form_shares(score, c, src.char_freq.get(c, 0) + 1)
            self._prefer_mainland(s, score)
            if score:
                char_reading[s] = score
        return char_reading

    def _prefer_mainland(self, c, score):
        """A reading only the Taiwan tradition gives (综 zong4) passes its
        share to the mainland's tone of the same syllable (zong1), or else
        comes last."""
        ml = self.mainland_of(c)
        if not ml:
            return
        for r in sorted(score):
            if r in ml or r.endswith("5"):
                continue
            same = sorted(x for x in ml if toneless(x) == toneless(r))
            if same:
                score[same[0]] = score.get(same[0], 0.0) + score[r]
                score[r] *= 1e-6
            elif any(x in ml for x in score):
                score[r] *= 1e-6

    def _add_form_shares(self, score, c, weight):
        """Adds the shares of the readings of written character c: terra's,
        else kHanyuPinlu's, else kMandarin's order."""
        src = self.src
        pinlu = src.pinlu.get(c, {})
        heard = sum(pinlu.values())
        readings = src.terra_char.get(c)
        if readings:
            shares = complete_shares(readings) or {}
            total = sum(shares.values())
            for r in readings:
                if r in shares and total > 0:
                    share = shares[r] / total
                elif heard > 0:
                    share = pinlu.get(r, 0) / heard or 0.001
                elif src.mandarin.get(c) and src.mandarin[c][0] == r:
                    share = 0.9
                else:
                    share = 0.1 / len(readings)
                score[r] = score.get(r, 0.0) + weight * max(share, 0.0005)
        elif heard > 0:
            for r, n in pinlu.items():
                score[r] = score.get(r, 0.0) + weight * max(n / heard, 0.0005)
        elif c in src.mandarin:
            for k, r in enumerate(src.mandarin[c]):
                score[r] = score.get(r, 0.0) + weight * (0.9 if k == 0 else 0.1)

    def _add_observed(self, observed):
        """Observed counts outweigh the dictionaries' shares, which only
        order the readings never observed."""
        for c, counts in observed.items():
            score = self.char_reading.setdefault(c, {})
            total = sum(score.values()) or 1.0
            for r in score:
                score[r] = score[r] / total * 0.5
            for r, n in counts.items():
                score[r] = score.get(r, 0.0) + n

    @functools.lru_cache(maxsize=None)
    def char_syllables(self, c):
        """The readings of a simplified character with their scores, most
        frequent first."""
        score = self.char_reading.get(c, {})
        return sorted(score.items(), key=lambda kv: (-kv[1], kv[0]))

    @functools.lru_cache(maxsize=None)
    def written_default(self, c, prefer=()):
        """The reading terra implies for a character as written: a word
        terra leaves out is read with these. Ties go to the reading
        `prefer` ranks first."""
        src = self.src
        readings = src.terra_char.get(c)
        if not readings:
            return None
        if len(readings) == 1:
            return next(iter(readings))
        shares = complete_shares(readings)
        if not shares or max(shares.values()) <= 0:
            shares = {r: float(src.pinlu.get(c, {}).get(r, 0)) for r in readings}
            if src.mandarin.get(c) and src.mandarin[c][0] in shares:
                shares[src.mandarin[c][0]] += 0.5
        top = max(shares.values())
        tied = sorted(r for r, v in shares.items() if v >= top - 1e-9)
        if len(tied) > 1 and prefer:
            tied.sort(key=lambda r: prefer.index(r) if r in prefer else len(prefer))
        return tied[0]

    @functools.lru_cache(maxsize=None)
    def default_of(self, t):
        """written_default() of a written character; a simplified one in a
        word written in simplified script stands for its one traditional
        form."""
        src = self.src
        forms = src.trad.get(t, ())
        if len(forms) == 1 and forms[0] != t:
            t = forms[0]
        return self.written_default(t, tuple(r for r, _ in self.char_syllables(src.to_s.get(t, t))))

    @functools.lru_cache(maxsize=None)
    def usual_of(self, t):
        """The usual reading of a written character: its own when it is one
        of several a simplified one stands for, else the simplified one's."""
        s = self.src.to_s.get(t, t)
        if len(self.src.trad.get(s, ())) > 1:
            return self.default_of(t)
        rs = self.char_syllables(s)
        return rs[0][0] if rs else None

    @functools.lru_cache(maxsize=None)
    def heard_share(self, c, x):
        """How often the mainland hears character c read x (kHanyuPinlu)."""
        counts = self.src.pinlu.get(c, {})
        total = sum(counts.values())
        return counts.get(x, 0) / total if total else 0.0

    @functools.lru_cache(maxsize=None)
    def mainland_fix(self, c, r, t):
        """A word's syllable r of simplified character c (written t) in the
        mainland standard: a tone only the Taiwan tradition gives (综合
        zong4 he2) becomes the mainland one; a light syllable is read with
        its full tone (衣服 fu2, 困难 nan2) unless c is a light suffix."""
        if r is None:
            return r
        candidates = [self.default_of(t)] + [x for x, _ in self.char_syllables(c)]
        if r.endswith("5"):
            if c in LIGHT_SUFFIXES:
                return r
            full = [x for x in candidates if x and toneless(x) == toneless(r) and not x.endswith("5")]
            return full[0] if full else r
        ml = self.mainland_of(c)
        if not ml or r in ml:
            return r
        same = [x for x in candidates if x and toneless(x) == toneless(r) and x in ml]
        same += sorted(x for x in ml if toneless(x) == toneless(r))
        if same:
            return same[0]
        # A character the mainland reads one way only (暂 zan4, not zhan4).
        full = [x for x in ml if not x.endswith("5")]
        return full[0] if len(full) == 1 else r

    # Words.

    def rank(self, written, sy, weights):
        """How likely one of terra's readings of a word is: by pinyin_simp's
        weight, how often the written form occurs, how many characters
        keep their usual reading, full tones before neutral ones but for
        the suffixes that are light (桌子 zi5), and how often the mainland
        hears each syllable (着急 zhao2, not zhao1)."""
        base = tuple(toneless(x) for x in sy)
        simplified = self.src.s_word(written)
        agree = sum(1 for c, x in zip(written, sy) if self.usual_of(c) == x)
        neutral = sum(1 if c not in LIGHT_SUFFIXES else -1 for c, x in zip(simplified, sy) if x.endswith("5"))
        heard = sum(self.heard_share(c, x) for c, x in zip(simplified, sy))
        return (weights.get(base, 0), self.src.written_count.get(written, 0), agree, -neutral, heard)

    @functools.lru_cache(maxsize=None)
    def terra_reading(self, w):
        """Terra's reading of a word and the form it is written in: the
        likeliest when it gives several, or when the word is mostly written
        in a form terra leaves out (症狀 against terra's 癥狀), that form's."""
        src = self.src
        options = list(src.terra_word.get(w, ()))
        if not options:
            return None
        if w in src.written_words and all(o[0] != src.written_words[w][1] for o in options):
            written = src.written_words[w][1]
            options.append((written, tuple(self.derived_reading(w, written))))
        weights = src.simp_word.get(w, {})
        return max(options, key=lambda o: self.rank(o[0], o[1], weights))

    def derived_reading(self, w, written):
        """A word terra leaves out reads as its longest terra words from the
        left and the other characters with terra's usual reading of them as
        written: terra leaves out exactly the words read that way."""
        out = []
        i = 0
        while i < len(w):
            for j in range(len(w), i + 1, -1):
                if j - i < len(w) and w[i:j] in self.src.terra_word:
                    out.extend(self.terra_reading(w[i:j])[1])
                    i = j
                    break
            else:
                out.append(self.default_of(written[i]))
                i += 1
        return out

    def simp_tones(self, w, base, known=None):
        """pinyin_simp's toneless reading `base` of a word with tones: those
        of `known` where it agrees, else the likeliest tone of each
        character for that syllable."""
        out = []
        for k, (c, t) in enumerate(zip(w, base)):
            if known and known[k] and toneless(known[k]) == t:
                out.append(known[k])
                continue
            shares = self.dictionary_reading.get(c, {})
            match = sorted((r for r in shares if toneless(r) == t), key=lambda r: -shares[r])
            out.append(match[0] if match else None)
        return tuple(out)

    def _package_reading(self, w):
        """The packages' reading of a word, and whether it was derived rather
        than given: terra's; or for a word terra leaves out, one derived
        from terra's shorter words and characters, with the syllables
        pinyin_simp gives (长大 zhang da, not chang2 from 長); or
        pinyin_simp's toneless reading given the tones of the characters;
        or None."""
        src = self.src
        weights = src.simp_word.get(w, {})
        top = max(weights.items(), key=lambda kv: kv[1])[0] if weights else None
        found = self.terra_reading(w)
        derived = found is None or found[0] not in src.terra_written.get(w, ())
        if found is None and w in src.written_words:
            written = src.written_words[w][1]
            found = (written, self.derived_reading(w, written))
        if found is not None and any(found[1]):
            written, sy = found
            sy = tuple(self.mainland_fix(c, x, t) for c, x, t in zip(w, sy, written))
            if derived and top:
                sy = self.simp_tones(w, top, sy)
            return sy, derived
        if top:
            return self.simp_tones(w, top), True
        return None, False

    def _with_own_words(self, w, sy):
        """A longer word reads our words inside it our way (蒸馏水)."""
        sy = list(sy)
        for own, own_sy in self.src.own_words.items():
            at = w.find(own)
            while at >= 0:
                sy[at:at + len(own)] = own_sy
                at = w.find(own, at + 1)
        return tuple(sy)

    def word_reading(self, w):
        """The reading of a word of several characters (a tuple of syllables
        or None for a character left to the reader) and whether it was
        derived; (None, False) when the lexicon need not give one, as for
        a word of characters with one reading each."""
        own = self.src.own_words
        if w in own:
            return own[w], False
        if not any(c in self.polyphonic for c in w):
            return None, False
        sy, derived = self._package_reading(w)
        if sy and self._own_starts.intersection(w):
            sy = self._with_own_words(w, sy)
        return sy, derived
