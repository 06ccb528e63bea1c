// SPDX-License-Identifier: Apache-2.0
// The settings a session of the library gets: the library's own fixed
// list, then the host's list from SPEECH_SERVICE_SESSION_PARAMS, then the
// options' settings; the service takes the last pair of a key, so every
// option given wins over the environment.
#ifndef TTS_SAY_SESSION_SETTINGS_H
#define TTS_SAY_SESSION_SETTINGS_H

#include <string>

#include "options.h"

namespace tts_say {

inline constexpr const char *kHostParamsEnv = "SPEECH_SERVICE_SESSION_PARAMS";

// The session parameters text_to_speech always asks for.
inline constexpr const char *kLibrarySessionParams =
    "voice_name = xiaoxin, text_encoding = utf8, sample_rate = 16000, speed = 50, volume = 50, pitch = 50, rdn = 2";

// The whole list, as a session would read it.
std::string session_settings(const Options &o);
// The same with `host` in place of the environment's list.
std::string session_settings(const Options &o, const std::string &host);

// Puts the options' settings after the caller's own in the environment
// variable, where the service reads them at session begin.
void give_session_settings(const Options &o);

// The sample rate of the audio a session delivers (16000 when the list
// does not parse: the session then fails anyway).
int session_sample_rate(const Options &o);
int sample_rate_of(const std::string &list);

}  // namespace tts_say

#endif  // TTS_SAY_SESSION_SETTINGS_H
