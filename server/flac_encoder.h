// SPDX-License-Identifier: Apache-2.0
// 16-bit mono PCM as a FLAC file in memory, through libsndfile.
#ifndef TTS_SERVER_FLAC_ENCODER_H
#define TTS_SERVER_FLAC_ENCODER_H

#include <optional>
#include <string>
#include <string_view>

namespace tts_server {

// Whether this libsndfile can write FLAC.
bool flac_available();

// The FLAC file of `pcm` (16-bit little-endian mono samples at `rate`);
// nothing when libsndfile fails.
std::optional<std::string> encode_flac(std::string_view pcm, unsigned rate);

}  // namespace tts_server

#endif  // TTS_SERVER_FLAC_ENCODER_H
