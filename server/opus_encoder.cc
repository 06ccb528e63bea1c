// SPDX-License-Identifier: Apache-2.0
#include "opus_encoder.h"

#include <opus/opusenc.h>

#include <cstdint>
#include <vector>

namespace tts_server {
namespace {

// libopus's complexity 10 (the most) encodes this speech at about 65 times
// real time here, slower than the service speaks, so the encoder would
// bound every answer. Measured on 5 minutes of the service's 24 kHz speech
// at 32 kbit/s: 5 encodes about 4 times as fast (270x), its decoded
// signal-to-distortion ratio 31.3 dB against 36.0 at 10; 4 and 3 are only
// about 30 % faster again but lose another 4 dB (27.5).
constexpr int kComplexity = 5;

// A stream of no speech carries one 20 ms packet of silence.
constexpr unsigned kSilentPacketsPerSecond = 50;

struct RateSetting {
    unsigned rate;
    opus_int32 bit_rate;  // bits per second, variable around this
    opus_int32 bandwidth;
};
// What each rate holds and no more (libopusenc codes at 48 kHz inside),
// at bit rates where Opus carries speech of that band well.
constexpr RateSetting kRates[] = {
    {8000, 16000, OPUS_BANDWIDTH_NARROWBAND},       {12000, 20000, OPUS_BANDWIDTH_MEDIUMBAND},
    {16000, 24000, OPUS_BANDWIDTH_WIDEBAND},        {24000, 32000, OPUS_BANDWIDTH_SUPERWIDEBAND},
    {48000, 48000, OPUS_BANDWIDTH_FULLBAND},
};

class OpusStreamEncoder : public AudioEncoder {
  public:
    ~OpusStreamEncoder() override {
        if (encoder_ != nullptr) ope_encoder_destroy(encoder_);
        if (comments_ != nullptr) ope_comments_destroy(comments_);
    }

    std::string open(unsigned rate) {
        const RateSetting *setting = nullptr;
        for (const RateSetting &s : kRates)
            if (s.rate == rate) setting = &s;
        if (setting == nullptr) return "Opus does not code " + std::to_string(rate) + " Hz";
        comments_ = ope_comments_create();
        if (comments_ == nullptr) return "out of memory";
        int rc = OPE_OK;
        encoder_ = ope_encoder_create_callbacks(&callbacks_, this, comments_, static_cast<opus_int32>(rate), 1, 0, &rc);
        if (encoder_ == nullptr) return failure("did not start", rc);
        // Packets go into a page as soon as they are coded (libopusenc would
        // hold 2 s of input to decide on the stream's end); a page is
        // flushed at most every second of audio (its default).
        if ((rc = ope_encoder_ctl(encoder_, OPE_SET_DECISION_DELAY(0))) != OPE_OK ||
            (rc = ope_encoder_ctl(encoder_, OPUS_SET_COMPLEXITY(kComplexity))) != OPE_OK ||
            (rc = ope_encoder_ctl(encoder_, OPUS_SET_BITRATE(setting->bit_rate))) != OPE_OK ||
            (rc = ope_encoder_ctl(encoder_, OPUS_SET_MAX_BANDWIDTH(setting->bandwidth))) != OPE_OK)
            return failure("refused a setting", rc);
        // The headers go out at once, before any audio.
        if ((rc = ope_encoder_flush_header(encoder_)) != OPE_OK) return failure("failed", rc);
        rate_ = rate;
        return {};
    }

    std::string add(std::string_view pcm, std::string &out) override {
        decode_samples(pcm, samples_);
        written_ += samples_.size();
        const int rc = samples_.empty() ? OPE_OK : ope_encoder_write(encoder_, samples_.data(), static_cast<int>(samples_.size()));
        hand_out(out);
        return rc == OPE_OK ? "" : failure("failed", rc);
    }

    std::string finish(std::string &out) override {
        // A stream of no packets is no stream to a decoder: a text with no
        // speech gets a moment of silence.
        if (written_ == 0) {
            samples_.assign(rate_ / kSilentPacketsPerSecond, 0);
            if (const int rc = ope_encoder_write(encoder_, samples_.data(), static_cast<int>(samples_.size())); rc != OPE_OK)
                return failure("failed", rc);
        }
        const int rc = ope_encoder_drain(encoder_);
        hand_out(out);
        return rc == OPE_OK ? "" : failure("failed at the end", rc);
    }

  private:
    static std::string failure(const char *what, int rc) { return std::string("the Opus encoder ") + what + ": " + ope_strerror(rc); }

    void hand_out(std::string &out) {
        out += held_;
        held_.clear();
    }

    // Called from C: no exception may leave it; a failure is its return.
    static int written(void *self, const unsigned char *bytes, opus_int32 size) noexcept {
        try {
            static_cast<OpusStreamEncoder *>(self)->held_.append(reinterpret_cast<const char *>(bytes),
                                                                 static_cast<std::size_t>(size));
            return 0;
        } catch (...) {
            return 1;
        }
    }
    static int closed(void *) noexcept { return 0; }

    OpusEncCallbacks callbacks_ = {&OpusStreamEncoder::written, &OpusStreamEncoder::closed};
    OggOpusComments *comments_ = nullptr;
    OggOpusEnc *encoder_ = nullptr;
    unsigned rate_ = 0;
    std::vector<opus_int16> samples_;
    std::size_t written_ = 0;
    std::string held_;  // whole pages not yet handed out
};

}  // namespace

std::unique_ptr<AudioEncoder> make_opus_encoder(unsigned rate, std::string &error) {
    return opened_encoder<OpusStreamEncoder>(rate, error);
}

}  // namespace tts_server
