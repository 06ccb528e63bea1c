// SPDX-License-Identifier: Apache-2.0
#include "answer_body.h"

#include "audio_encoder.h"
#include "pcm_source.h"
#include "sse_body.h"
#include "wav_body.h"

namespace tts_server {
namespace {

ApiError encoding_failed(const std::string &why) {
    return {500, "the audio could not be encoded: " + why, "server_error", "", "encoding_failed"};
}

// A streamed format: each block encoded and handed on as it comes.
class EncodedBody : public AnswerBody {
  public:
    EncodedBody(std::unique_ptr<PcmSource> source, std::unique_ptr<AudioEncoder> encoder, Cancelled cancelled,
                unsigned max_audio_seconds)
        : source_(std::move(source)), encoder_(std::move(encoder)), cancelled_(std::move(cancelled)),
          max_audio_seconds_(max_audio_seconds) {}

    // Fetches and encodes the first block: its failure is still an error
    // answer.
    std::optional<ApiError> first(std::string &out) { return step(out); }

    bool more(std::string &out) override {
        if (!first_.empty()) {
            out.swap(first_);
            first_.clear();
            return true;
        }
        while (out.empty() && !ended_ && !failure_) {
            if (cancelled_()) failure_ = ApiError{499, "the client closed the connection", "", "", "client_gone"};
            else failure_ = step(out);
        }
        return !out.empty();
    }

    double audio_seconds() const override { return static_cast<double>(source_->bytes()) / (2.0 * source_->rate()); }

    void hold_first(std::string bytes) { first_ = std::move(bytes); }

  private:
    std::optional<ApiError> step(std::string &out) {
        std::string_view block;
        bool last = false;
        if (const int code = source_->next(block, last); code != 0)
            return service_failure(code, Synthesis::engine_error(), max_audio_seconds_);
        if (std::string e = encoder_->add(block, out); !e.empty()) return encoding_failed(e);
        if (last) {
            ended_ = true;
            if (std::string e = encoder_->finish(out); !e.empty()) return encoding_failed(e);
        }
        return std::nullopt;
    }

    std::unique_ptr<PcmSource> source_;
    std::unique_ptr<AudioEncoder> encoder_;
    Cancelled cancelled_;
    unsigned max_audio_seconds_;
    std::string first_;
    bool ended_ = false;
};

}  // namespace

std::variant<std::unique_ptr<AnswerBody>, ApiError> start_answer(const SpeechRequest &request, Cancelled cancelled) {
    int code = 0;
    auto source = PcmSource::begin(request, code);
    if (source == nullptr) return service_failure(code, Synthesis::engine_error(), request.max_audio_seconds);
    std::unique_ptr<AnswerBody> body;
    if (request.format == AudioFormat::kWav) {
        auto wav = gather_wav(source, cancelled);
        if (auto *e = std::get_if<ApiError>(&wav)) return *e;
        body = std::move(std::get<std::unique_ptr<AnswerBody>>(wav));
    } else {
        std::string error;
        auto encoder = make_encoder(request.format, request.sample_rate, error);
        if (encoder == nullptr) return encoding_failed(error);
        auto encoded = std::make_unique<EncodedBody>(std::move(source), std::move(encoder), std::move(cancelled),
                                                     request.max_audio_seconds);
        std::string first;
        if (auto e = encoded->first(first)) return *e;
        encoded->hold_first(std::move(first));
        body = std::move(encoded);
    }
    if (request.sse) return std::unique_ptr<AnswerBody>(new SseBody(std::move(body), request.input));
    return body;
}

}  // namespace tts_server
