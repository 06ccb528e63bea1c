// SPDX-License-Identifier: Apache-2.0
// tts-say --server: the text spoken by a tts-server into the temporary file
// of the output, with the dialogue the library prints for a call that goes
// well, so that users and scripts see what a local run shows.
#ifndef TTS_SAY_SERVER_SPEECH_H
#define TTS_SAY_SERVER_SPEECH_H

#include <string>

#include "options.h"
#include "wav_output.h"

namespace tts_say {

// Speaks `text` through the server at o.server into output.library_path();
// false with the reason (the output's finish is left to the caller). An
// empty or blank text is not sent: its empty WAV is made here.
bool speak_through_server(const Options &o, const std::string &text, const WavOutput &output, std::string &error);

}  // namespace tts_say

#endif  // TTS_SAY_SERVER_SPEECH_H
