// SPDX-License-Identifier: Apache-2.0
// Words in the Latin script: tone-numbered pinyin written in the text, and
// the English words and acronyms handed to the English voice.
#ifndef SPEECH_MANDARIN_LATIN_WORDS_H
#define SPEECH_MANDARIN_LATIN_WORDS_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "normalize.h"

namespace speech::mandarin {

// The length in characters of the tone-numbered pinyin ("ni3hao3", "Lü4")
// that starts at chars[i], with its reading ("ni3 hao3", "lv4") in
// `reading`; 0 when no pinyin starts there. Only plainly pinyin is taken:
// a whole word of letters and digits made of real syllables, each with its
// tone, in lower case or with capitals starting syllables of a longer word;
// not a lone letter ("a4", "A4") nor a capitalised syllable ("No1").
std::size_t read_pinyin(const std::vector<NormChar> &chars, std::size_t i, std::string &reading);

// The length of the Latin word at chars[i] (letters, with apostrophes
// and points between them), and what the English voice is given for it: the word as
// written, or an all-capital acronym letter by letter ("U.S.A.": with the
// points the engine names each letter, where "A" alone would be the article).
std::size_t read_latin_word(const std::vector<NormChar> &chars, std::size_t i, std::string &english);

// Appends `c` to `out` as UTF-8.
void append_utf8(std::string &out, char32_t c);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_LATIN_WORDS_H
