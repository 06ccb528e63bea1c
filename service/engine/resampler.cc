// SPDX-License-Identifier: Apache-2.0
#include "resampler.h"

#include <soxr.h>

namespace speech {

Resampler::~Resampler() {
    if (soxr_ != nullptr) soxr_delete(soxr_);
}

std::string Resampler::open(double input_rate, double output_rate) {
    soxr_error_t err = nullptr;
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    // The cheapest quality whose error below 80% of the band (aliasing and
    // ripple) stays under the rounding to 16 bits, as measured by
    // bench/resampler_quality.py; every recipe short of the finest differs
    // from it near the band's top, where its rolloff begins.
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_16_BITQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_ = soxr_create(input_rate, output_rate, 1, &err, &io, &quality, &runtime);
    if (err != nullptr) {
        soxr_ = nullptr;
        return err;
    }
    ratio_ = output_rate / input_rate;
    return {};
}

// Feeds `n` samples (null: end of input) and collects all output.
std::string Resampler::run(const std::int16_t *samples, std::size_t n, std::vector<std::int16_t> &out) {
    std::size_t used_total = 0;
    for (;;) {
        const std::size_t room = static_cast<std::size_t>((n - used_total) * ratio_) + 1024;
        const std::size_t old = out.size();
        out.resize(old + room);
        std::size_t used = 0, made = 0;
        const soxr_error_t err = soxr_process(soxr_, samples == nullptr ? nullptr : samples + used_total,
                                              n - used_total, &used, out.data() + old, room, &made);
        out.resize(old + made);
        if (err != nullptr) return err;
        used_total += used;
        // Input: done once all of it is taken and the output did not fill.
        // End of input: done once nothing more comes out.
        if (samples != nullptr ? (used_total == n && made < room) : made == 0) return {};
    }
}

std::string Resampler::push(const std::int16_t *samples, std::size_t n, std::vector<std::int16_t> &out) {
    if (n == 0) return {};
    return run(samples, n, out);
}

std::string Resampler::flush(std::vector<std::int16_t> &out) { return run(nullptr, 0, out); }

}  // namespace speech
