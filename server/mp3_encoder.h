// SPDX-License-Identifier: Apache-2.0
// MP3 through LAME, each frame handed out as it is made.
#ifndef TTS_SERVER_MP3_ENCODER_H
#define TTS_SERVER_MP3_ENCODER_H

#include <memory>
#include <string>

#include "audio_encoder.h"

namespace tts_server {

std::unique_ptr<AudioEncoder> make_mp3_encoder(unsigned rate, std::string &error);

}  // namespace tts_server

#endif  // TTS_SERVER_MP3_ENCODER_H
