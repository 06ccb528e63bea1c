// SPDX-License-Identifier: Apache-2.0
// tts-say --server: whether a server's answer is the whole WAV that was
// asked for, before it replaces the output file. A proxy's login page, an
// empty body or a body cut short must not pass for speech.
#ifndef TTS_SAY_WAV_ANSWER_H
#define TTS_SAY_WAV_ANSWER_H

#include <string>

namespace tts_say {

// Checks that `wav` is a RIFF/WAVE file of 16-bit mono PCM at `rate` whose
// stated sizes match its bytes: the RIFF size is the body less 8 bytes and
// the data chunk, the last, holds exactly the bytes after its header. A
// streamed answer, which states 0xFFFFFFFF for sizes it did not know yet,
// is taken as the transfer ended (the caller knows it ended whole) and its
// sizes are filled in. False with the reason in `error`.
bool check_wav_answer(std::string &wav, int rate, std::string &error);

}  // namespace tts_say

#endif  // TTS_SAY_WAV_ANSWER_H
