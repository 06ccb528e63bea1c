// SPDX-License-Identifier: Apache-2.0
// AAC-LC in ADTS frames, by libavcodec's own AAC encoder and libavformat's
// ADTS muxer.
#ifndef TTS_SERVER_AAC_ENCODER_H
#define TTS_SERVER_AAC_ENCODER_H

#include <memory>
#include <string>

#include "audio_encoder.h"

namespace tts_server {

std::unique_ptr<AudioEncoder> make_aac_encoder(unsigned rate, std::string &error);

}  // namespace tts_server

#endif  // TTS_SERVER_AAC_ENCODER_H
