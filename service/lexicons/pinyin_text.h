// SPDX-License-Identifier: Apache-2.0
// Tone-numbered pinyin as lexicons and SSML's <phoneme> write it, brought
// to the one form the readers use.
#ifndef SPEECH_LEXICONS_PINYIN_TEXT_H
#define SPEECH_LEXICONS_PINYIN_TEXT_H

#include <string>
#include <string_view>

namespace speech::lexicons {

// "chong2 qing4" from tone-numbered pinyin written with or without blanks,
// in any case, ü or v ("Chong2Qing4", "lü4"); empty when it is not that.
std::string normalize_pinyin(std::string_view ph);
// The same appended to `out`; false, with `out` as it was, when it is not
// (or holds no syllable).
bool normalize_pinyin(std::string_view ph, std::string &out);

}  // namespace speech::lexicons

#endif  // SPEECH_LEXICONS_PINYIN_TEXT_H
