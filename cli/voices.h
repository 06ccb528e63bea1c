// SPDX-License-Identifier: Apache-2.0
// The voices the service offers.
#ifndef TTS_SAY_VOICES_H
#define TTS_SAY_VOICES_H

#include <string>

namespace tts_say {

// The service's voice list ("name\tlanguage\n" lines), or empty with
// `error` set.
std::string voice_list(std::string &error);

// True when `list` names `voice` (in any case).
bool offers_voice(const std::string &list, const std::string &voice);

}  // namespace tts_say

#endif  // TTS_SAY_VOICES_H
