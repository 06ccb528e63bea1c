// SPDX-License-Identifier: Apache-2.0
// FLAC through libFLAC's stream encoder, written out as it is made. The
// stream cannot go back to fill in its header, so STREAMINFO states the
// total length and checksum as unknown (zero), as a live stream does.
#ifndef TTS_SERVER_FLAC_ENCODER_H
#define TTS_SERVER_FLAC_ENCODER_H

#include <memory>
#include <string>

#include "audio_encoder.h"

namespace tts_server {

std::unique_ptr<AudioEncoder> make_flac_encoder(unsigned rate, std::string &error);

}  // namespace tts_server

#endif  // TTS_SERVER_FLAC_ENCODER_H
