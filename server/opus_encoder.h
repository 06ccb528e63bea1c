// SPDX-License-Identifier: Apache-2.0
// Ogg Opus through libopusenc, each Ogg page handed out as it is made.
#ifndef TTS_SERVER_OPUS_ENCODER_H
#define TTS_SERVER_OPUS_ENCODER_H

#include <memory>
#include <string>

#include "audio_encoder.h"

namespace tts_server {

// `rate` is one of Opus's own (8, 12, 16, 24 or 48 kHz).
std::unique_ptr<AudioEncoder> make_opus_encoder(unsigned rate, std::string &error);

}  // namespace tts_server

#endif  // TTS_SERVER_OPUS_ENCODER_H
