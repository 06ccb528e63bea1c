// SPDX-License-Identifier: Apache-2.0
// The words around numbers that change how they are said: measure words
// (两, and the tone of 一 before them), units and currency signs, 第, and
// the words after which digits are a code.
#ifndef SPEECH_MANDARIN_NUMBER_WORDS_H
#define SPEECH_MANDARIN_NUMBER_WORDS_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "normalize.h"

namespace speech::mandarin {

// A word after which a number counts things. `tone` is that of its first
// syllable, for the tone change of 一; 0 when 一 keeps its tone (1点 is one
// o'clock).
struct Measure {
    std::u32string_view word;
    int tone;
};

struct Unit {
    std::u32string_view text;
    const char *reading;
    int tone;  // of the reading's first syllable; -1: not a measure (2℃ is 二, not 两)
};

struct Currency {
    char32_t sign;
    const char *reading;
    int tone;
};

// True when chars[p..] spells `word`.
bool matches(const std::vector<NormChar> &chars, std::size_t p, std::u32string_view word);

// The currency sign at chars[p], or null.
const Currency *currency_at(const std::vector<NormChar> &chars, std::size_t p);

// The unit written at chars[p] (the longest; a Latin unit not followed by
// a letter or digit), or null.
const Unit *unit_at(const std::vector<NormChar> &chars, std::size_t p);

// The measure word at chars[p], after any blanks, or null.
const Measure *measure_after(const std::vector<NormChar> &chars, std::size_t p);

// True when 第 comes right before chars[p].
bool ordinal_before(const std::vector<NormChar> &chars, std::size_t p);

// True when a word naming a code (电话, 编号, ...) comes before chars[p],
// with blanks or a colon between.
bool code_word_before(const std::vector<NormChar> &chars, std::size_t p);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_NUMBER_WORDS_H
