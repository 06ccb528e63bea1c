// SPDX-License-Identifier: Apache-2.0
// The JSON body of POST /v1/audio/speech (and of /v1/reading), checked
// field by field and turned into the service's session parameters.
#ifndef TTS_SERVER_SPEECH_REQUEST_H
#define TTS_SERVER_SPEECH_REQUEST_H

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "api_error.h"
#include "audio_format.h"

namespace tts_server {

class VoiceAliases;

struct SpeechRequest {
    std::string input;
    std::string voice = "xiaoxin";
    AudioFormat format = AudioFormat::kMp3;  // the API's default
    unsigned sample_rate = kDefaultRate;
    bool sse = false;  // stream_format "sse": the audio in server-sent events
    unsigned speed = 50;  // the service's scale
    unsigned pitch = 50;
    unsigned volume = 50;
    unsigned rdn = 0;
    unsigned max_audio_seconds = 0;  // the server's limit; 0: the service's default

    // The service's parameters: its own rate for sample_rate (see
    // service_rate), the rest as asked.
    std::string session_params() const;
};

// The API's speed (0.25 to 4, 1 normal) on the service's 0..100 (50
// normal): 50 + 25 * log2(speed), so that each doubling is the same step.
unsigned service_speed(double speed);

// The request, or the 400 (naming the field) or 413 it gets. A voice named
// in `aliases` becomes the voice it stands for. Fields the API has and this
// server does not use (model, instructions, ...) and unknown ones are
// ignored.
std::variant<SpeechRequest, ApiError> parse_speech_request(std::string_view body, std::size_t max_text,
                                                           const VoiceAliases *aliases = nullptr);

}  // namespace tts_server

#endif  // TTS_SERVER_SPEECH_REQUEST_H
