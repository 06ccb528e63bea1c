// SPDX-License-Identifier: Apache-2.0
// The listing routes clients read to fill their menus: models
// (/v1/models, /v1/audio/models) and voices (/v1/audio/voices).
#ifndef TTS_SERVER_LISTINGS_H
#define TTS_SERVER_LISTINGS_H

#include <string>

namespace tts_server {

// {"object":"list","data":[{"id":"tts-1","object":"model",...},...]}
std::string models_body();
// {"models":[{"id":"tts-1"},{"id":"tts-1-hd"}]}
std::string audio_models_body();
// {"voices":[{"id","name"},...]} from the service's "name<TAB>language"
// lines: the Mandarin voices first, then those that read Chinese
// characters, then the rest, marked as not reading them.
std::string audio_voices_body(const std::string &service_list);

}  // namespace tts_server

#endif  // TTS_SERVER_LISTINGS_H
