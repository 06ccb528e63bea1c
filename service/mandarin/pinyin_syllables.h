// SPDX-License-Identifier: Apache-2.0
// The syllable inventory of standard Mandarin in Hanyu Pinyin.
#ifndef SPEECH_MANDARIN_PINYIN_SYLLABLES_H
#define SPEECH_MANDARIN_PINYIN_SYLLABLES_H

#include <string_view>

namespace speech::mandarin {

// True for a toneless syllable in lower case with v for ü ("lv", "zhuang",
// "er"); false for letters Mandarin has no syllable for ("bia", "gv").
bool is_pinyin_syllable(std::string_view s);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_PINYIN_SYLLABLES_H
