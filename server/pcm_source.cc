// SPDX-License-Identifier: Apache-2.0
#include "pcm_source.h"

#include "speech_service.h"

namespace tts_server {

namespace {

constexpr std::size_t kSliceBytes = 32 * 1024;

}  // namespace

unsigned service_rate(unsigned rate) { return rate == 8000 ? 8000 : 16000; }

std::unique_ptr<PcmSource> PcmSource::begin(const SpeechRequest &request, int &code) {
    auto synthesis = Synthesis::begin(request.session_params(), request.input, code);
    if (synthesis == nullptr) return nullptr;
    std::unique_ptr<PcmSource> source(new PcmSource(std::move(synthesis), request.sample_rate));
    const unsigned from = service_rate(request.sample_rate);
    if (from != request.sample_rate) {
        source->resampler_ = std::make_unique<speech::Resampler>();
        if (!source->resampler_->open(from, request.sample_rate).empty()) {
            code = SPEECH_ERR_SYSTEM;
            return nullptr;
        }
    }
    return source;
}

int PcmSource::next(std::string_view &block, bool &last) {
    // The service's block may be megabytes when the client reads slower
    // than the engine speaks: it is handed on in slices, so that what each
    // slice costs downstream (converted samples, encoded bytes) stays small.
    if (taken_ == fetched_.size() && !fetched_last_) {
        if (const int code = synthesis_->next(fetched_, fetched_last_); code != 0) return code;
        taken_ = 0;
    }
    block = fetched_.substr(taken_, kSliceBytes);
    taken_ += block.size();
    last = fetched_last_ && taken_ == fetched_.size();
    if (resampler_ == nullptr) {
        // Whole samples only, so that encoders may take each block alone.
        if (pending_.empty() && block.size() % 2 == 0) {
            bytes_ += block.size();
            return 0;
        }
        pending_.append(block.data(), block.size());
        block_.assign(pending_, 0, pending_.size() & ~std::size_t{1});
        pending_.erase(0, block_.size());
        bytes_ += block_.size();
        block = block_;
        return 0;
    }
    // A block may end inside a sample: its first byte waits for the next
    // block. Samples are little-endian whatever the host's order.
    pending_.append(block.data(), block.size());
    samples_.resize(pending_.size() / 2);
    for (std::size_t i = 0; i < samples_.size(); ++i)
        samples_[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned char>(pending_[2 * i]) |
                                                                         static_cast<unsigned char>(pending_[2 * i + 1]) << 8));
    pending_.erase(0, samples_.size() * 2);
    converted_.clear();
    if (!resampler_->push(samples_.data(), samples_.size(), converted_).empty() ||
        (last && !resampler_->flush(converted_).empty()))
        return SPEECH_ERR_SYSTEM;
    block_.resize(converted_.size() * 2);
    for (std::size_t i = 0; i < converted_.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(converted_[i]);
        block_[2 * i] = static_cast<char>(v & 0xFF);
        block_[2 * i + 1] = static_cast<char>(v >> 8);
    }
    bytes_ += block_.size();
    block = block_;
    return 0;
}

}  // namespace tts_server
