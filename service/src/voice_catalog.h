// SPDX-License-Identifier: Apache-2.0
// Which engine voices exist: the voice files of the engine's data folder.
#ifndef SPEECH_VOICE_CATALOG_H
#define SPEECH_VOICE_CATALOG_H

#include <string>

namespace speech {

// The engine voice that the service's own voice name `xiaoxin` stands for.
inline constexpr const char *kMandarinVoice = "cmn-latn-pinyin";

// True when the engine has a voice file named `name` (letters, digits, "-"
// and "_", compared without regard to case), so that selecting the voice by
// that name succeeds. The catalogue is read once per process.
bool engine_voice_exists(const std::string &name);

}  // namespace speech

#endif  // SPEECH_VOICE_CATALOG_H
