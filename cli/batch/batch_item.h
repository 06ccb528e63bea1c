// SPDX-License-Identifier: Apache-2.0
// One line of a batch manifest: a JSON object, or ID<TAB>TEXT.
#ifndef TTS_SAY_BATCH_ITEM_H
#define TTS_SAY_BATCH_ITEM_H

#include <string>

#include "options.h"

namespace tts_say {

struct BatchItem {
    long long line = 0;   // 1-based line number in the manifest
    std::string id;       // default: the line number
    std::string output;   // the WAV's path inside the output folder
    std::string text;
    Options settings;     // the command's options with the line's own over them
    std::string error;    // why the line is refused; empty when it is not
};

// Reads the manifest line `text` (line end removed), number `line`. The
// output is ID.wav unless the line names one; names are checked only for
// what they are (see OutputRoot::place for where they lead).
BatchItem parse_batch_line(const std::string &text, long long line, const Options &defaults);

}  // namespace tts_say

#endif  // TTS_SAY_BATCH_ITEM_H
