// SPDX-License-Identifier: Apache-2.0
// Readings of runs of Han characters: words from the compiled lexicon,
// polyphonic characters by their word and context, the tone changes of 一
// and 不, and neutral tones.
#ifndef SPEECH_MANDARIN_HAN_READER_H
#define SPEECH_MANDARIN_HAN_READER_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace speech::mandarin {

class Lexicon;

// The lexicon installed beside the engine helper (mandarin.lex), mapped
// once per process; null when it cannot be opened.
const Lexicon *default_lexicon();

// True for the characters read as Mandarin syllables: CJK unified
// ideographs (all blocks), compatibility ideographs and 〇.
bool is_han(char32_t c);

// A traditional or variant character as its simplified form; any other
// character unchanged.
char32_t to_simplified(const Lexicon &lexicon, char32_t c);

struct HanWord {
    std::size_t length = 0;              // characters of the run in this word
    // One per character: "hang2", "de5", "lv4"; empty for a character the
    // lexicon has no reading for (a rare ideograph, or no lexicon data).
    std::vector<std::string> syllables;
};

// What the text holds just outside a run of Han characters, for the rules
// that look past its ends.
struct RunSide {
    enum Kind : unsigned char {
        phrase_edge,  // the text's start or end, punctuation, a line break, a blank between Han characters
        number,       // a number that ends in digits (3只, 你还3岁吗)
        ordinal,      // 第 and a number, before the run (第5行)
        han,          // a Han character of the same run, read in parts
        word,         // something else said: a Latin word, a number with a sign or unit
    };
    Kind kind = phrase_edge;
    char32_t han_char = 0;  // for kind han: that character, simplified
};

struct RunEdges {
    RunSide before, after;
    // The tone ('1'..'5') of the first syllable said after the run, '0'
    // when unknown: 一 and 不 change by it (不4个 bu2).
    char after_tone = '0';
};

// Reads a run of Han characters that are already simplified, splitting it
// into words that cover it in order; `edges` is what surrounds it.
std::vector<HanWord> read_han(const Lexicon &lexicon, std::u32string_view run, const RunEdges &edges = {});

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_HAN_READER_H
