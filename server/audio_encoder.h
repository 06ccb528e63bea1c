// SPDX-License-Identifier: Apache-2.0
// An encoder that turns 16-bit mono PCM into one answer format as it comes,
// handing out each piece of the encoded stream as soon as it is made: what
// it hands out is never taken back, so it can go to the client at once.
#ifndef TTS_SERVER_AUDIO_ENCODER_H
#define TTS_SERVER_AUDIO_ENCODER_H

#include <memory>
#include <string>
#include <string_view>

#include "audio_format.h"

namespace tts_server {

class AudioEncoder {
  public:
    virtual ~AudioEncoder() = default;
    // Encodes `pcm` (16-bit little-endian mono samples, a whole number of
    // them) and appends what is ready to `out`; "" or the error.
    virtual std::string add(std::string_view pcm, std::string &out) = 0;
    // Ends the stream and appends the rest; a stream with no samples is
    // still a valid (empty) one.
    virtual std::string finish(std::string &out) = 0;
};

// The encoder of a streamed format (every one but wav, which the answer
// writes itself with exact sizes), at `rate`; null and the reason in `error`.
std::unique_ptr<AudioEncoder> make_encoder(AudioFormat format, unsigned rate, std::string &error);

}  // namespace tts_server

#endif  // TTS_SERVER_AUDIO_ENCODER_H
