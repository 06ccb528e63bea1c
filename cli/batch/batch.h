// SPDX-License-Identifier: Apache-2.0
// tts-say --batch: every line of a manifest spoken into its own WAV, by
// several sessions at once in this one process.
#ifndef TTS_SAY_BATCH_H
#define TTS_SAY_BATCH_H

#include "options.h"

namespace tts_say {

// Runs the batch that `o` describes; the exit status (0 every item done,
// 1 some failed or the run could not go on, 2 a usage error).
int run_batch(const Options &o);

}  // namespace tts_say

#endif  // TTS_SAY_BATCH_H
