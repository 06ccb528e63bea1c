// SPDX-License-Identifier: Apache-2.0
#include "flac_encoder.h"

#include <FLAC/stream_encoder.h>

#include <cstdint>
#include <vector>

namespace tts_server {
namespace {

constexpr unsigned kCompressionLevel = 5;  // libFLAC's default

class FlacEncoder : public AudioEncoder {
  public:
    ~FlacEncoder() override {
        if (encoder_ != nullptr) FLAC__stream_encoder_delete(encoder_);
    }

    std::string open(unsigned rate) {
        encoder_ = FLAC__stream_encoder_new();
        if (encoder_ == nullptr) return "out of memory";
        FLAC__stream_encoder_set_channels(encoder_, 1);
        FLAC__stream_encoder_set_bits_per_sample(encoder_, 16);
        FLAC__stream_encoder_set_sample_rate(encoder_, rate);
        FLAC__stream_encoder_set_compression_level(encoder_, kCompressionLevel);
        // No seek callback: the encoder writes straight through and leaves
        // the header as it first wrote it. The header is written here.
        const auto status = FLAC__stream_encoder_init_stream(encoder_, &FlacEncoder::written, nullptr, nullptr, nullptr, this);
        if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK)
            return std::string("libFLAC did not start: ") + FLAC__StreamEncoderInitStatusString[status];
        return {};
    }

    std::string add(std::string_view pcm, std::string &out) override {
        decode_samples(pcm, samples_);
        const bool ok = samples_.empty() ||
                        FLAC__stream_encoder_process_interleaved(encoder_, samples_.data(), static_cast<unsigned>(samples_.size()));
        hand_out(out);
        return ok ? "" : failure();
    }

    std::string finish(std::string &out) override {
        const bool ok = FLAC__stream_encoder_finish(encoder_);
        hand_out(out);
        return ok ? "" : failure();
    }

  private:
    std::string failure() const {
        return std::string("libFLAC failed: ") + FLAC__stream_encoder_get_resolved_state_string(encoder_);
    }

    void hand_out(std::string &out) {
        out += held_;
        held_.clear();
    }

    static FLAC__StreamEncoderWriteStatus written(const FLAC__StreamEncoder *, const FLAC__byte bytes[], size_t n, unsigned,
                                                  unsigned, void *self) {
        static_cast<FlacEncoder *>(self)->held_.append(reinterpret_cast<const char *>(bytes), n);
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    }

    FLAC__StreamEncoder *encoder_ = nullptr;
    std::vector<FLAC__int32> samples_;
    std::string held_;
};

}  // namespace

std::unique_ptr<AudioEncoder> make_flac_encoder(unsigned rate, std::string &error) {
    return opened_encoder<FlacEncoder>(rate, error);
}

}  // namespace tts_server
