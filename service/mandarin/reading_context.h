// SPDX-License-Identifier: Apache-2.0
// The working state of read_han(): a run of characters split into words,
// each character with its reading and where that reading came from, for the
// context rules and the tone changes to inspect and revise.
#ifndef SPEECH_MANDARIN_READING_CONTEXT_H
#define SPEECH_MANDARIN_READING_CONTEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "han_reader.h"

namespace speech::mandarin {

class Lexicon;
struct ModelView;

struct CharReading {
    char32_t c = 0;
    std::size_t word = 0;      // index of its word
    std::size_t in_word = 0;   // place in its word
    std::string syllable;      // "hang2"; empty when unknown
    Source source = Source::none;
    std::uint16_t word_cost = 0;      // the lexicon's cost of its word (rarer: higher)
    std::string_view model_syllable;  // see CharNote
    float model_probability = 0.0f;
    float rule_probability = 0.0f;   // the model's probability of the rules' reading
};

// What the rules see for a number beside the run: 几, a numeral that
// counts and orders (3只 as 几只, 第5行 as 第几行).
constexpr char32_t kSeenNumber = U'几';
// What they see for a word said beside the run that is not Han (a Latin
// word, 5%): something that is neither a phrase edge nor any character
// they know.
constexpr char32_t kSeenWord = U'\uFFFC';

struct RunReading {
    const Lexicon *lexicon = nullptr;
    RunEdges edges;
    std::vector<CharReading> chars;
    std::vector<std::size_t> word_starts;  // first character of each word
    std::vector<std::size_t> word_lengths;

    std::size_t size() const { return chars.size(); }
    char32_t at(std::size_t i) const { return i < chars.size() ? chars[i].c : U'\0'; }
    // The character at i as the rules see it, also just outside the run
    // (i < 0, i >= size()): the stand-ins above, the next Han character of
    // a long run read in parts, 第 before an ordinal's number; U'\0' at the
    // edge of a phrase.
    char32_t seen(std::ptrdiff_t i) const;
    // The tone of the syllable after character i ('0' when unknown).
    char tone_after(std::size_t i) const;
    // The length of the word of character i (0 past the end).
    std::size_t word_length_at(std::size_t i) const { return i < chars.size() ? word_lengths[chars[i].word] : 0; }
    bool single(std::size_t i) const { return word_length_at(i) == 1; }
    // True when the text of the word of character i is `w`.
    bool word_is(std::size_t i, std::u32string_view w) const;
    // The word that begins at character i, as text (empty past the end).
    std::u32string word_from(std::size_t i) const;
    // The whole word of character i.
    std::u32string word_of(std::size_t i) const;
};

// True when the lexicon lists `syllable` among the readings of `c`.
bool can_read_as(const Lexicon &lexicon, char32_t c, std::string_view syllable);

// Revises the readings of the function words and the polyphonic characters
// left to their most frequent reading, from their neighbours.
void apply_context_rules(RunReading &run);

// The tone changes of 一 and 不, and the neutral tones.
void apply_tone_changes(RunReading &run);

// Asks the polyphone model about the polyphonic characters of the run and
// takes its reading where the combination says so.
void apply_polyphone_model(RunReading &run, const ModelView &model);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_READING_CONTEXT_H
