// SPDX-License-Identifier: Apache-2.0
#include "audio_pipeline.h"

namespace speech {
namespace {

// Enough queued chunks to ride out a slow write; the engine waits beyond it.
constexpr std::size_t kMaxQueued = 64;
constexpr std::size_t kWriteBytes = 64u << 10;

bool write_samples(AudioPipeline::Writer write, std::vector<std::int16_t> &samples) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (auto &s : samples) s = static_cast<std::int16_t>(__builtin_bswap16(static_cast<std::uint16_t>(s)));
#endif
    const bool ok = write(samples.data(), samples.size() * sizeof(std::int16_t));
    samples.clear();
    return ok;
}

}  // namespace

AudioPipeline::~AudioPipeline() {
    if (thread_.joinable()) finish();
}

void AudioPipeline::start(std::unique_ptr<Resampler> resampler, double input_rate, double output_rate,
                          Writer write) {
    write_ = write;
    resampler_ = std::move(resampler);
    // A resampler still to open is set up on the pipeline's thread: the
    // few milliseconds of its filter's design then overlap synthesis.
    thread_ = std::thread(&AudioPipeline::run, this, input_rate, output_rate);
}

bool AudioPipeline::push(const std::int16_t *samples, std::size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return queue_.size() < kMaxQueued || !error_.empty(); });
    if (!error_.empty()) return false;
    queue_.emplace_back(samples, samples + n);
    changed_.notify_all();
    return true;
}

std::string AudioPipeline::finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    return error_;
}

void AudioPipeline::run(double input_rate, double output_rate) {
    std::vector<std::int16_t> out;
    std::string err;
    if (!resampler_) {
        resampler_ = std::make_unique<Resampler>();
        err = resampler_->open(input_rate, output_rate);
    }
    while (err.empty()) {
        std::vector<std::int16_t> chunk;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return !queue_.empty() || ended_; });
            if (queue_.empty()) break;
            chunk.swap(queue_.front());
            queue_.pop_front();
        }
        changed_.notify_all();
        err = resampler_->push(chunk.data(), chunk.size(), out);
        if (err.empty() && out.size() * sizeof(std::int16_t) >= kWriteBytes && !write_samples(write_, out))
            err = "cannot write the output";
    }
    if (err.empty()) err = resampler_->flush(out);
    if (err.empty() && !out.empty() && !write_samples(write_, out)) err = "cannot write the output";
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = err;
    changed_.notify_all();
}

}  // namespace speech
