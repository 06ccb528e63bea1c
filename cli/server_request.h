// SPDX-License-Identifier: Apache-2.0
// tts-say --server: the settings a local session would get, as the JSON
// body of tts-server's POST /v1/audio/speech, and the call itself.
#ifndef TTS_SAY_SERVER_REQUEST_H
#define TTS_SAY_SERVER_REQUEST_H

#include <cmath>
#include <string>

#include "options.h"

namespace tts_say {

// The server's speed (0.25 to 4, 1 normal) that it maps back onto the
// service's `speed` (0..100, 50 normal) exactly.
inline double api_speed(int service_speed) { return std::exp2((service_speed - 50) / 25.0); }

// The body for `text` under the settings session_settings(o) gives (the
// library's list, the environment's, the options'), so that the server's
// session gets the same voice and audio settings as a local one; false with
// the reason when a setting is not one the server takes.
bool speech_request_body(const Options &o, const std::string &text, std::string &body, std::string &error);

struct ServerAnswer {
    bool ok = false;
    std::string wav;    // the body of a 200
    std::string error;  // else why not: unreachable, cut off, stalled, or the server's message
};

// POSTs `body` to URL/v1/audio/speech, with `token` as a bearer token when
// it is not empty (one holding a control character is refused), following
// redirects; gives up once nothing has come for `stall_seconds`. The body
// of a 200 is returned as it came: the caller checks it.
ServerAnswer post_speech(const std::string &url, const std::string &token, const std::string &body,
                         long stall_seconds);

}  // namespace tts_say

#endif  // TTS_SAY_SERVER_REQUEST_H
