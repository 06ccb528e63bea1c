// SPDX-License-Identifier: Apache-2.0
// resampler-quality: how far each resampler quality is from the finest one
// (32-bit precision) on the engine's speech, against what 16-bit output can
// hold, and what each costs. Reads "VOICE<TAB>TEXT" lines on standard
// input, speaks each with the engine (22050 Hz), converts it to 16000 and
// 8000 Hz at each quality and prints, per rate and quality: the error
// against the finest result as a signal-to-error ratio (over all texts, and
// the worst text's); the error's level against the 16-bit rounding noise,
// 1/12 of a squared step (below 0 dB the difference is smaller than 16-bit
// output can show), over the whole band and below 80% of it (both results
// through one common low-pass first: what is left there is aliasing and
// ripple, not where each filter's band ends); the time to design the filter
// and to convert one text, in processor time, 16-bit in and out as the
// helper does.
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <soxr.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Samples = std::vector<std::int16_t>;
using Signal = std::vector<double>;  // on the 16-bit scale

constexpr int kEngineRate = 22050;
constexpr int kTimingRuns = 5;

struct Quality {
    const char *name;
    unsigned long recipe;
};

const Quality kQualities[] = {
    {"quick", SOXR_QQ},        {"low", SOXR_LQ},           {"medium", SOXR_MQ},    {"16-bit", SOXR_16_BITQ},
    {"high", SOXR_HQ},         {"24-bit", SOXR_24_BITQ},   {"very high", SOXR_VHQ}, {"32-bit", SOXR_32_BITQ},
};
constexpr unsigned long kReference = SOXR_32_BITQ;

Samples *g_out = nullptr;

int collect(short *wav, int count, espeak_EVENT *) {
    if (wav != nullptr && count > 0) g_out->insert(g_out->end(), wav, wav + count);
    return 0;
}

// `in` (at `from` Hz, of type `in_type`) converted to `to` Hz at `recipe`.
template <typename T>
Signal convert(const std::vector<T> &in, soxr_datatype_t in_type, double from, double to, unsigned long recipe) {
    Signal out(static_cast<std::size_t>(static_cast<double>(in.size()) * to / from) + 1024);
    std::size_t made = 0;
    soxr_io_spec_t io = soxr_io_spec(in_type, SOXR_FLOAT64_I);
    io.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t q = soxr_quality_spec(recipe, 0);
    if (soxr_oneshot(from, to, 1, in.data(), in.size(), nullptr, out.data(), out.size(), &made, &io, &q, nullptr) !=
        nullptr)
        return {};
    out.resize(made);
    return out;
}

Signal to_rate(const Samples &in, int rate, unsigned long recipe) {
    Signal out = convert(in, SOXR_INT16_I, kEngineRate, rate, recipe);
    for (double &s : out) s *= 32768.0;
    return out;
}

// Through a common fine low-pass (to 85% of the rate: about 80% of the band
// is kept).
Signal in_band(const Signal &x, int rate) { return convert(x, SOXR_FLOAT64_I, rate, rate * 0.85, kReference); }

struct Difference {
    double signal = 0, error = 0, worst = 1e9;
    std::size_t samples = 0;

    void add(const Signal &out, const Signal &ref) {
        double s = 0, e = 1e-30;
        for (std::size_t k = 0; k < std::min(out.size(), ref.size()); ++k) {
            s += ref[k] * ref[k];
            e += (out[k] - ref[k]) * (out[k] - ref[k]);
        }
        signal += s;
        error += e;
        samples += ref.size();
        worst = std::min(worst, 10 * std::log10(s / e));
    }
    double snr() const { return 10 * std::log10(signal / error); }
    double against_rounding() const { return 10 * std::log10(error / static_cast<double>(samples) * 12.0); }
};

// Processor time of this thread in ms: other work on the machine does not
// count.
double cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The processor time to design the filter, and to convert one text without
// that, in ms (the best of a few runs).
std::pair<double, double> timing(const std::vector<Samples> &texts, int rate, unsigned long recipe) {
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t q = soxr_quality_spec(recipe, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    double design = 1e9, all = 1e9;
    Samples out;
    for (int run = 0; run < kTimingRuns; ++run) {
        soxr_error_t err = nullptr;
        double start = cpu_ms();
        soxr_delete(soxr_create(kEngineRate, rate, 1, &err, &io, &q, &runtime));
        design = std::min(design, cpu_ms() - start);
        start = cpu_ms();
        for (const Samples &in : texts) {
            soxr_t s = soxr_create(kEngineRate, rate, 1, &err, &io, &q, &runtime);
            out.resize(in.size() * static_cast<std::size_t>(rate) / kEngineRate + 1024);
            std::size_t used = 0, made = 0, more = 0;
            soxr_process(s, in.data(), in.size(), &used, out.data(), out.size(), &made);
            soxr_process(s, nullptr, 0, nullptr, out.data() + made, out.size() - made, &more);
            soxr_delete(s);
        }
        all = std::min(all, cpu_ms() - start);
    }
    return {design, all / static_cast<double>(texts.size()) - design};
}

}  // namespace

int main() {
    espeak_ng_InitializePath(nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    if (espeak_ng_Initialize(&context) != ENS_OK ||
        espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 200, nullptr) != ENS_OK ||
        espeak_ng_GetSampleRate() != kEngineRate) {
        std::fprintf(stderr, "resampler-quality: the engine did not start\n");
        return 1;
    }
    espeak_SetSynthCallback(collect);
    std::vector<Samples> texts;
    std::string line;
    while (std::getline(std::cin, line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        if (espeak_ng_SetVoiceByName(line.substr(0, tab).c_str()) != ENS_OK) {
            std::fprintf(stderr, "resampler-quality: unknown voice in: %s\n", line.c_str());
            return 1;
        }
        const std::string text = line.substr(tab + 1);
        texts.emplace_back();
        g_out = &texts.back();
        espeak_ng_Synthesize(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8 | espeakENDPAUSE,
                             nullptr, nullptr);
        espeak_ng_Synchronize();
    }
    if (texts.empty()) {
        std::fprintf(stderr, "resampler-quality: no VOICE<TAB>TEXT line on standard input\n");
        return 1;
    }
    std::printf("%zu texts; the error against the finest result in dB: signal to error (all, worst text),\n"
                "its level against 16-bit rounding noise (whole band, below 80%% of it)\n"
                "%5s  %-9s %7s %7s %10s %10s %10s %11s\n",
                texts.size(), "rate", "quality", "SNR", "worst", "vs 16-bit", "in band", "design ms", "convert ms");
    for (const int rate : {16000, 8000}) {
        std::vector<Signal> reference, reference_in_band;
        for (const Samples &t : texts) {
            reference.push_back(to_rate(t, rate, kReference));
            reference_in_band.push_back(in_band(reference.back(), rate));
        }
        for (const Quality &q : kQualities) {
            Difference whole, band;
            for (std::size_t i = 0; i < texts.size(); ++i) {
                const Signal out = to_rate(texts[i], rate, q.recipe);
                whole.add(out, reference[i]);
                band.add(in_band(out, rate), reference_in_band[i]);
            }
            const auto [design, per_text] = timing(texts, rate, q.recipe);
            std::printf("%5d  %-9s %7.1f %7.1f %10.1f %10.1f %10.2f %11.2f\n", rate, q.name, whole.snr(), whole.worst,
                        whole.against_rounding(), band.against_rounding(), design, per_text);
        }
    }
    return 0;
}
