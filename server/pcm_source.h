// SPDX-License-Identifier: Apache-2.0
// Speech as 16-bit mono PCM at the rate a protocol asks for: one session of
// the service, its audio converted from the service's rate when the two
// differ. Every protocol front end (HTTP, others) takes its audio here.
#ifndef TTS_SERVER_PCM_SOURCE_H
#define TTS_SERVER_PCM_SOURCE_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "resampler.h"
#include "speech_request.h"
#include "synthesis.h"

namespace tts_server {

class PcmSource {
  public:
    // Begins synthesising `request.input` with its voice and settings, the
    // audio to come at `request.sample_rate` (any rate from 8000 to 48000);
    // null and the service's code in `code` on failure.
    static std::unique_ptr<PcmSource> begin(const SpeechRequest &request, int &code);

    // Waits for the next block: whole 16-bit little-endian samples at the
    // asked rate (possibly none); 0 or the service's code. `last` is set with the
    // final block. `block` stays valid until the next call.
    int next(std::string_view &block, bool &last);

    unsigned rate() const { return rate_; }
    // Bytes of audio handed out so far.
    std::uint64_t bytes() const { return bytes_; }

  private:
    PcmSource(std::unique_ptr<Synthesis> synthesis, unsigned rate) : synthesis_(std::move(synthesis)), rate_(rate) {}

    std::unique_ptr<Synthesis> synthesis_;
    const unsigned rate_;
    std::string_view fetched_;  // the service's last block, valid until the next fetch
    bool fetched_last_ = false;
    std::size_t taken_ = 0;     // of fetched_, handed on
    std::unique_ptr<speech::Resampler> resampler_;  // null: the service makes this rate
    std::string pending_;  // a byte of a sample split between blocks
    std::vector<std::int16_t> samples_;
    std::vector<std::int16_t> converted_;
    std::string block_;
    std::uint64_t bytes_ = 0;
};

// The rate the service is asked for to make audio at `rate`: its own
// 8000 or 16000 directly, any other rate from 16000.
unsigned service_rate(unsigned rate);

}  // namespace tts_server

#endif  // TTS_SERVER_PCM_SOURCE_H
