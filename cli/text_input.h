// SPDX-License-Identifier: Apache-2.0
// The text to speak: from the arguments, a file or standard input, checked
// before anything is written.
#ifndef TTS_SAY_TEXT_INPUT_H
#define TTS_SAY_TEXT_INPUT_H

#include <string>

#include "options.h"

namespace tts_say {

struct Text {
    std::string bytes;
    std::string error;  // empty when the text can be spoken
};

// Reads the text the options name: the words joined by blanks, the file,
// or standard input to its end ("-f -", or no words and no file). The text
// must be UTF-8 without NUL bytes.
Text read_text(const Options &o);

// True when the text holds nothing to speak: empty, or only blanks and line
// ends (ASCII and the ideographic space).
bool is_blank(const std::string &text);

}  // namespace tts_say

#endif  // TTS_SAY_TEXT_INPUT_H
