// SPDX-License-Identifier: Apache-2.0
// The helper's output path: the engine's samples are queued, and a thread
// of their own resamples them and writes them out, so that resampling runs
// beside synthesis instead of after it; or, without that thread, they are
// resampled and written as they come.
#ifndef SPEECH_AUDIO_PIPELINE_H
#define SPEECH_AUDIO_PIPELINE_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "resampler.h"

namespace speech {

class AudioPipeline {
  public:
    // `write` sends bytes to the output and returns false when it cannot.
    using Writer = bool (*)(const void *data, std::size_t len);

    AudioPipeline() = default;
    ~AudioPipeline();
    AudioPipeline(const AudioPipeline &) = delete;
    AudioPipeline &operator=(const AudioPipeline &) = delete;

    // Starts the pipeline's thread, when `own_thread`, to wait for begin().
    // Started `ahead` of its audio (while a request is awaited), the thread
    // also makes its buffer meanwhile: then neither costs the request
    // anything.
    void launch(Writer write, bool own_thread, bool ahead);
    // Gives the pipeline `resampler`, opened already for these rates and
    // unused, or, when it is null, one opened for them; errors show at
    // push() and finish().
    void begin(std::unique_ptr<Resampler> resampler, double input_rate, double output_rate);
    // Queues `n` samples, after begin(); false once the pipeline has failed.
    bool push(const std::int16_t *samples, std::size_t n);
    // Ends the input, waits for all output; empty on success, else the
    // error. Without begin(), there was no audio and nothing is written.
    std::string finish();

  private:
    void run(bool ahead);
    std::string open();
    // Resamples `n` samples and writes out what has gathered; the error.
    std::string convert(const std::int16_t *samples, std::size_t n);
    // Resamples what is left and writes it out; the error.
    std::string drain();

    std::unique_ptr<Resampler> resampler_;
    std::vector<std::int16_t> out_;  // resampled, not yet written
    Writer write_ = nullptr;
    bool own_thread_ = true;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<std::int16_t>> queue_;
    bool begun_ = false;
    double input_rate_ = 0;
    double output_rate_ = 0;
    bool ended_ = false;
    bool drained_ = false;  // without its own thread
    std::string error_;
};

}  // namespace speech

#endif  // SPEECH_AUDIO_PIPELINE_H
