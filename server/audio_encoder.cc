// SPDX-License-Identifier: Apache-2.0
#include "audio_encoder.h"

#include "aac_encoder.h"
#include "flac_encoder.h"
#include "mp3_encoder.h"
#include "opus_encoder.h"

namespace tts_server {
namespace {

// pcm is the samples themselves.
class PcmPassThrough : public AudioEncoder {
  public:
    std::string add(std::string_view pcm, std::string &out) override {
        out.append(pcm.data(), pcm.size());
        return {};
    }
    std::string finish(std::string &) override { return {}; }
};

}  // namespace

std::unique_ptr<AudioEncoder> make_encoder(AudioFormat format, unsigned rate, std::string &error) {
    switch (format) {
        case AudioFormat::kPcm:
            return std::make_unique<PcmPassThrough>();
        case AudioFormat::kAac:
            return make_aac_encoder(rate, error);
        case AudioFormat::kFlac:
            return make_flac_encoder(rate, error);
        case AudioFormat::kMp3:
            return make_mp3_encoder(rate, error);
        case AudioFormat::kOpus:
            return make_opus_encoder(rate, error);
        case AudioFormat::kWav:
            break;
    }
    error = "wav is not a streamed format";
    return nullptr;
}

}  // namespace tts_server
