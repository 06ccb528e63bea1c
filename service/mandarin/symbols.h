// SPDX-License-Identifier: Apache-2.0
// What punctuation and signs mean for speech: the pause a punctuation mark
// makes, and the Mandarin reading of the few signs that are spoken.
#ifndef SPEECH_MANDARIN_SYMBOLS_H
#define SPEECH_MANDARIN_SYMBOLS_H

namespace speech::mandarin {

// The clause mark that a punctuation character makes the engine pause on,
// as the Chinese mark the Mandarin voice knows ("，" "、"->"，" "。" "！"
// "？" "；" "："), or null for marks that make no pause (quotes, brackets,
// hyphens).
const char *pause_of(char32_t c);

// The stronger of two pauses (null is the weakest): a run "！？" pauses as
// a question.
const char *stronger_pause(const char *a, const char *b);

// The same mark for the English voice: ", " ". " "? " ...
const char *english_pause(const char *pause);

// The Mandarin reading of a sign spoken on its own ("+" jia1, "℃"), or null.
const char *symbol_reading(char32_t c);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_SYMBOLS_H
