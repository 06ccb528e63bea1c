#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The lexicon compiler on a small made-up data set: how it decides the
readings of words and characters, and a compiled file read back through
the reader.

  test_compile_lexicon.py MANDARIN_READ_BENCH
"""
import bz2
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(HERE))
from lexicon_readings import Readings  # noqa: E402
from lexicon_sources import Sources, complete_shares  # noqa: E402

BENCH = None

ESSAY = """幹部\t5000
乾燥\t3000
餅乾\t800
綜合\t4000
角色\t9000
衣服\t7000
桌子\t6000
長大\t5000
爲了\t40000
銀行\t20000
行長\t700
銀\t500
行\t900
長\t800
"""

TERRA = """# Rime dictionary
---
name: test
...

乾\tgan1\t80%
乾\tqian2\t20%
幹\tgan4
干\tgan1
餅\tbing3
燥\tzao4
部\tbu4
綜\tzong4
合\the2
角\tjiao3\t60%
角\tjue2\t40%
色\tse4
衣\tyi1
服\tfu2
服\tfu5\t1%
桌\tzhuo1
子\tzi3\t90%
子\tzi5\t10%
長\tchang2\t90%
長\tzhang3\t10%
大\tda4
爲\twei2\t50%
爲\twei4\t50%
了\tle5\t95%
了\tliao3\t5%
銀\tyin2
行\txing2\t90%
行\thang2\t10%
角色\tjiao3 se4
角色\tjue2 se4
綜合\tzong4 he2
衣服\tyi1 fu5
桌子\tzhuo1 zi5
爲了\twei4 le5
銀行\tyin2 hang2
行長\thang2 zhang3
"""

SIMP = """# Rime dictionary
---
name: test
...

角色\tjue se\t6940
角色\tjiao se\t1143
长大\tzhang da\t4221
"""

VARIANTS = """U+5E72\tkSimplifiedVariant\tU+5E72
U+5E72\tkTraditionalVariant\tU+4E7E U+5E72 U+5E79
U+4E7E\tkSimplifiedVariant\tU+4E7E U+5E72
U+5E79\tkSimplifiedVariant\tU+5E72
U+9905\tkSimplifiedVariant\tU+997C
U+7D9C\tkSimplifiedVariant\tU+7EFC
U+9577\tkSimplifiedVariant\tU+957F
U+70BA\tkSimplifiedVariant\tU+4E3A
U+7232\tkSemanticVariant\tU+70BA<kHKGlyph
U+9280\tkSimplifiedVariant\tU+94F6
"""

READINGS = """U+7EFC\tkTGHZ2013\t461.110:zèng 493.020:zōng
U+70BA\tkMandarin\twèi
U+7232\tkMandarin\twèi
"""


class CompilerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        rime = os.path.join(cls.tmp.name, "rime")
        uni = os.path.join(cls.tmp.name, "unicode")
        os.mkdir(rime)
        os.mkdir(uni)
        for name, text in (("essay.txt", ESSAY), ("terra_pinyin.dict.yaml", TERRA),
                           ("pinyin_simp.dict.yaml", SIMP)):
            with open(os.path.join(rime, name), "w", encoding="utf-8") as f:
                f.write(text)
        for name, text in (("Unihan_Variants.txt.bz2", VARIANTS), ("Unihan_Readings.txt.bz2", READINGS)):
            with bz2.open(os.path.join(uni, name), "wt", encoding="utf-8") as f:
                f.write(text)
        words = os.path.join(cls.tmp.name, "words.tsv")
        with open(words, "w", encoding="utf-8") as f:
            f.write("# ours\n银行行长\tyin2 hang2 hang2 zhang3\n")
        cls.args = (rime, uni, None, words)
        cls.readings = Readings(Sources(*cls.args))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def word(self, w):
        return " ".join(self.readings.word_reading(w)[0] or ())

    def test_word_readings(self):
        cases = [
            ("干部", "gan4 bu4"),    # 幹部: terra leaves it out, 幹 reads gan4
            ("干燥", "gan1 zao4"),   # 乾燥, though 乾 stays 乾 as itself
            ("饼干", "bing3 gan1"),  # 餅乾 under 乾's other simplification
            ("角色", "jue2 se4"),    # pinyin_simp's weights choose
            ("综合", "zong1 he2"),   # the 2013 standard's tone
            ("衣服", "yi1 fu2"),     # a light syllable read full in a word
            ("桌子", "zhuo1 zi5"),   # but kept for a light suffix
            ("长大", "zhang3 da4"),  # derived, corrected by pinyin_simp
            ("为了", "wei4 le5"),    # 爲了, 爲 a semantic variant of 為
            ("银行行长", "yin2 hang2 hang2 zhang3"),  # our own table
        ]
        for w, expected in cases:
            self.assertEqual(self.word(w), expected, w)

    def test_character_readings(self):
        first = {c: self.readings.char_syllables(c)[0][0] for c in "行长干"}
        self.assertEqual(first, {"行": "xing2", "长": "chang2", "干": "gan1"})
        # 综 zong4 is Taiwan's alone: it passes its share to zong1.
        self.assertEqual([r for r, _ in self.readings.char_syllables("综")], ["zong1", "zong4"])

    def test_complete_shares(self):
        self.assertEqual(complete_shares({"zhi1": 0.1, "zhi3": None}), {"zhi1": 0.1, "zhi3": 99.9})
        self.assertIsNone(complete_shares({"a1": None}))

    def test_compiled_file_reads_back(self):
        out = os.path.join(self.tmp.name, "test.lex")
        rime, uni, _, words = self.args
        script = os.path.join(os.path.dirname(HERE), "compile_lexicon.py")
        subprocess.run([sys.executable, script, "--rime", rime, "--unicode", uni, "--words", words, "-o", out],
                       check=True, stdout=subprocess.DEVNULL)
        text = os.path.join(self.tmp.name, "text.txt")
        with open(text, "w", encoding="utf-8") as f:
            f.write("银行行长\n角色\n乾燥的衣服\nA干部\n")
        r = subprocess.run([BENCH, out, text], check=True, capture_output=True, text=True)
        self.assertEqual(r.stdout.split("\n")[:4], [
            "yin2 hang2 hang2 zhang3", "jue2 se4", "gan1 zao4 de5 yi1 fu2", "- gan4 bu4"])


if __name__ == "__main__":
    BENCH = sys.argv.pop(1)
    unittest.main()
