// SPDX-License-Identifier: Apache-2.0
#include "audio_pipeline.h"

namespace speech {
namespace {

// Enough queued chunks to ride out a slow write; the engine waits beyond it.
constexpr std::size_t kMaxQueued = 64;
constexpr std::size_t kWriteBytes = 64u << 10;
// More than the samples resampled from one of the engine's chunks.
constexpr std::size_t kChunkOutput = 8192;

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

void AudioPipeline::launch(Writer write, bool own_thread, bool ahead) {
    write_ = write;
    own_thread_ = own_thread;
    if (own_thread_) thread_ = std::thread(&AudioPipeline::run, this, ahead);
}

void AudioPipeline::begin(std::unique_ptr<Resampler> resampler, double input_rate, double output_rate) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        resampler_ = std::move(resampler);
        input_rate_ = input_rate;
        output_rate_ = output_rate;
        begun_ = true;
    }
    if (!own_thread_) {
        error_ = open();
        return;
    }
    changed_.notify_all();
}

// A resampler still to open is set up on the pipeline's thread, beside
// synthesis.
std::string AudioPipeline::open() {
    if (resampler_) return {};
    resampler_ = std::make_unique<Resampler>();
    return resampler_->open(input_rate_, output_rate_);
}

std::string AudioPipeline::convert(const std::int16_t *samples, std::size_t n) {
    std::string err = resampler_->push(samples, n, out_);
    if (err.empty() && out_.size() * sizeof(std::int16_t) >= kWriteBytes && !write_samples(write_, out_))
        err = "cannot write the output";
    return err;
}

std::string AudioPipeline::drain() {
    std::string err = resampler_->flush(out_);
    if (err.empty() && !out_.empty() && !write_samples(write_, out_)) err = "cannot write the output";
    return err;
}

bool AudioPipeline::push(const std::int16_t *samples, std::size_t n) {
    if (!own_thread_) {
        if (error_.empty()) error_ = convert(samples, n);
        return error_.empty();
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return queue_.size() < kMaxQueued || !error_.empty(); });
    if (!error_.empty()) return false;
    queue_.emplace_back(samples, samples + n);
    changed_.notify_all();
    return true;
}

std::string AudioPipeline::finish() {
    if (!own_thread_) {
        if (begun_ && !drained_ && error_.empty()) error_ = drain();
        drained_ = true;
        return error_;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    return error_;
}

void AudioPipeline::run(bool ahead) {
    // The output buffer is made, and its pages written, while no audio is
    // waiting for it: a write's worth and a chunk's output beyond. With the
    // audio on its way, that would only hold it back.
    if (ahead) {
        out_.resize(kWriteBytes / sizeof(std::int16_t) + kChunkOutput);
        out_.clear();
    }
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return begun_ || ended_; });
        if (!begun_) return;
    }
    std::string err = open();
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
        err = convert(chunk.data(), chunk.size());
    }
    if (err.empty()) err = drain();
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = err;
    changed_.notify_all();
}

}  // namespace speech
