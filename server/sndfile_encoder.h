// SPDX-License-Identifier: Apache-2.0
// MP3 (LAME) and Ogg Opus through libsndfile, written into a virtual
// file whose bytes are handed out as they are made.
#ifndef TTS_SERVER_SNDFILE_ENCODER_H
#define TTS_SERVER_SNDFILE_ENCODER_H

#include <memory>
#include <string>

#include "audio_encoder.h"

namespace tts_server {

// Whether this libsndfile can write the format (mp3 or opus).
bool sndfile_can_encode(AudioFormat format);

std::unique_ptr<AudioEncoder> make_sndfile_encoder(AudioFormat format, unsigned rate, std::string &error);

}  // namespace tts_server

#endif  // TTS_SERVER_SNDFILE_ENCODER_H
