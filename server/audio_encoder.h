// SPDX-License-Identifier: Apache-2.0
// An encoder that turns 16-bit mono PCM into one answer format as it comes,
// handing out each piece of the encoded stream as soon as it is made: what
// it hands out is never taken back, so it can go to the client at once.
#ifndef TTS_SERVER_AUDIO_ENCODER_H
#define TTS_SERVER_AUDIO_ENCODER_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// The samples of `pcm` (16-bit little-endian, whatever the host's order)
// as the numbers an encoder takes.
template <class Sample>
void decode_samples(std::string_view pcm, std::vector<Sample> &out) {
    out.resize(pcm.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<Sample>(static_cast<std::int16_t>(static_cast<std::uint16_t>(
            static_cast<unsigned char>(pcm[2 * i]) | static_cast<unsigned char>(pcm[2 * i + 1]) << 8)));
}

// A new encoder of type `Encoder` opened at `rate` (its open() gives ""
// or the reason it cannot); null and the reason in `error`.
template <class Encoder>
std::unique_ptr<AudioEncoder> opened_encoder(unsigned rate, std::string &error) {
    auto encoder = std::make_unique<Encoder>();
    error = encoder->open(rate);
    if (!error.empty()) return nullptr;
    return encoder;
}

// The encoder of a streamed format (every one but wav, which the answer
// writes itself with exact sizes), at `rate`; null and the reason in `error`.
std::unique_ptr<AudioEncoder> make_encoder(AudioFormat format, unsigned rate, std::string &error);

}  // namespace tts_server

#endif  // TTS_SERVER_AUDIO_ENCODER_H
