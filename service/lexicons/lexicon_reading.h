// SPDX-License-Identifier: Apache-2.0
// Reading a text with the host's lexicons first: where an entry's grapheme
// stands (the longest at each place, from the left) it gives the reading,
// and the text between such places goes to the Mandarin front end.
#ifndef SPEECH_LEXICONS_LEXICON_READING_H
#define SPEECH_LEXICONS_LEXICON_READING_H

#include <atomic>
#include <string_view>

#include "front_end.h"
#include "lexicon_set.h"

namespace speech::lexicons {

// As mandarin::read_text, with the entries of `lexicons` (null or empty:
// exactly read_text). An alias is read in the grapheme's place: its first
// token has the grapheme's bytes, the others none (at the grapheme's end).
bool read_with_lexicons(const mandarin::Lexicon &lexicon, const LexiconSet *lexicons, std::string_view text,
                        mandarin::NumberMode mode, const mandarin::TokenSink &sink,
                        const std::atomic<bool> *cancel = nullptr);

}  // namespace speech::lexicons

#endif  // SPEECH_LEXICONS_LEXICON_READING_H
