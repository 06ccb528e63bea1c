// SPDX-License-Identifier: Apache-2.0
// Streaming conversion of the engine's 16-bit audio to the session's rate,
// without dither so that the same input always gives the same output.
#ifndef SPEECH_RESAMPLER_H
#define SPEECH_RESAMPLER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct soxr;

namespace speech {

class Resampler {
  public:
    Resampler() = default;
    ~Resampler();
    Resampler(const Resampler &) = delete;
    Resampler &operator=(const Resampler &) = delete;

    // Empty on success, else the error.
    std::string open(double input_rate, double output_rate);
    // Appends the resampled form of `n` samples to `out`.
    std::string push(const std::int16_t *samples, std::size_t n, std::vector<std::int16_t> &out);
    // Appends what the resampler still holds at the end of input.
    std::string flush(std::vector<std::int16_t> &out);

  private:
    std::string run(const std::int16_t *samples, std::size_t n, std::vector<std::int16_t> &out);
    soxr *soxr_ = nullptr;
    double ratio_ = 1.0;
};

}  // namespace speech

#endif  // SPEECH_RESAMPLER_H
