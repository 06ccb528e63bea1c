// SPDX-License-Identifier: Apache-2.0
// The service's Mandarin data: the compiled lexicon and the polyphone model
// installed beside the engine helper, opened once per process.
#ifndef SPEECH_MANDARIN_DATA_H
#define SPEECH_MANDARIN_DATA_H

#include <string>

#include "lexicon.h"

namespace speech {

// The lexicon with its polyphone model (without one when the model cannot
// be opened: the rules read alone); null when the lexicon cannot be opened.
const mandarin::Lexicon *mandarin_lexicon();

// The lexicon file: $SPEECH_SERVICE_LEXICON, or mandarin.lex in the folder
// of the engine helper (the installed one when a helper named by
// $SPEECH_SERVICE_ENGINE has none beside it).
std::string mandarin_lexicon_path();

}  // namespace speech

#endif  // SPEECH_MANDARIN_DATA_H
