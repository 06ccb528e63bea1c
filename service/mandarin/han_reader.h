// SPDX-License-Identifier: Apache-2.0
// Readings of runs of Han characters: words from the compiled lexicon,
// polyphonic characters by their word and context, the tone changes of 一
// and 不, and neutral tones.
#ifndef SPEECH_MANDARIN_HAN_READER_H
#define SPEECH_MANDARIN_HAN_READER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace speech::mandarin {

class Lexicon;

// True for the characters read as Mandarin syllables: CJK unified
// ideographs (all blocks), compatibility ideographs and 〇.
bool is_han(char32_t c);

// A traditional or variant character as its simplified form; any other
// character unchanged.
char32_t to_simplified(const Lexicon &lexicon, char32_t c);

// Where a character's reading came from.
enum class Source : unsigned char {
    none,       // no reading known
    character,  // the character's most frequent reading
    word,       // the reading the lexicon gives the word it is in
    derived,    // the reading the lexicon derived for its word from the
                // characters, which the context rules may revise
    rule,       // set by a context rule
    model,      // chosen by the trained polyphone model
    tone,       // a tone change (一, 不) or a neutral tone set by the rules
};

// The name of a source in the reading table ("word", "model", ...).
inline const char *source_name(Source source) {
    switch (source) {
        case Source::none: return "none";
        case Source::character: return "char";
        case Source::word: return "word";
        case Source::derived: return "derived";
        case Source::rule: return "rule";
        case Source::model: return "model";
        case Source::tone: return "tone";
    }
    return "none";
}

// True when the trained polyphone model is installed beside `lexicon`.
bool has_polyphone_model(const Lexicon &lexicon);

// The sentence a run of Han characters is in, as the polyphone model reads
// it: its characters, normalised and simplified, without blanks.
struct Sentence {
    std::u32string_view chars;
    std::size_t offset = 0;  // where the run starts in it
    // False: the model is asked, but the rules' reading kept (for measuring).
    bool model_decides = true;
};

// How a character was read, for those who study the reading.
struct CharNote {
    Source source = Source::none;
    // What the model made of a polyphonic character it was asked about:
    // its likeliest reading among the character's own, and how likely
    // (0..1); no syllable when it was not asked (or there is no model).
    std::string_view model_syllable;
    float model_probability = 0.0f;
    float rule_probability = 0.0f;  // the model's probability of the rules' reading
    std::uint16_t word_cost = 0;    // the lexicon's cost of the word (rarer: higher)
};

struct HanWord {
    std::size_t length = 0;              // characters of the run in this word
    // One per character: "hang2", "de5", "lv4"; empty for a character the
    // lexicon has no reading for (a rare ideograph, or no lexicon data).
    std::vector<std::string> syllables;
    std::vector<CharNote> notes;  // one per character
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
// into words that cover it in order; `edges` is what surrounds it. With
// its `sentence` and a model beside the lexicon, the polyphone model's
// reading replaces the rules' where measurement showed it better; the model
// runs once over a sentence however many runs it has (a run's sentence is
// compared with the last one read on the thread).
std::vector<HanWord> read_han(const Lexicon &lexicon, std::u32string_view run, const RunEdges &edges = {},
                              const Sentence *sentence = nullptr);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_HAN_READER_H
