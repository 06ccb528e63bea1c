// SPDX-License-Identifier: Apache-2.0
// One item of a batch through the speech service's session calls, into a
// WAV that is byte for byte what tts-say writes for the same text alone.
#ifndef TTS_SAY_BATCH_SPEAK_H
#define TTS_SAY_BATCH_SPEAK_H

#include <string>

#include "batch_cleanup.h"

namespace tts_say {

struct SpokenItem {
    int code = 0;         // the service's code; -1 when the file failed
    double seconds = 0;   // of audio
    std::string reason;   // why it failed; empty when it did not
};

// Speaks `text` under the session parameters `params` at `rate` Hz into a
// temporary file renamed onto `target` when complete. Needs a login.
SpokenItem speak_item(const std::string &text, const std::string &params, int rate, const ItemPlace &target,
                      BatchTempFiles &files);

// A digest of what an item's WAV is made from (its text, the session
// parameters and `lexicons`, the lexicons_contents() of those parameters),
// recorded in the results so that a rerun makes a WAV again when any of
// them changed: 32 hexadecimal digits.
std::string made_from_digest(const std::string &text, const std::string &params, const std::string &lexicons);

// A digest of the contents of the lexicon files a session under `params`
// loads (the environment's, then the parameters'), so that editing a
// lexicon makes its items again; a file that cannot be read counts as such
// (its session then fails anyway). Empty when there are none.
std::string lexicons_contents(const std::string &params);

// True when `target` is a complete WAV (not through a link): a valid
// 16-bit PCM header whose sizes match the file's size; its seconds of
// audio in `seconds`.
bool is_complete_wav(const ItemPlace &target, double &seconds);

}  // namespace tts_say

#endif  // TTS_SAY_BATCH_SPEAK_H
