// SPDX-License-Identifier: Apache-2.0
#include "polyphone_model.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace speech::mandarin {
namespace {

// The sizes the code is written for (fixed, so that the loops vectorise).
constexpr std::size_t kHidden = 32;
constexpr std::size_t kGates = 4 * kHidden;
constexpr std::size_t kDense = 32;

// Four floats in one SSE register (a GCC and Clang extension).
using V4 = float __attribute__((vector_size(16)));
inline V4 load4(const float *p) {
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store4(float *p, V4 v) { std::memcpy(p, &v, sizeof v); }
constexpr std::size_t kHeaderBytes = 64;
constexpr char kMagic[8] = {'T', 'T', 'S', 'P', 'O', 'L', 'Y', '1'};

struct Header {
    char magic[8];
    std::uint32_t version, inputs, lookup, hidden, dense, classes, class_text_bytes, bos, eos, unk, quantised, polyphones;
};

std::size_t pad16(std::size_t n) { return (n + 15) & ~std::size_t{15}; }

// e^x within a few units in the last place over [-87, 87] (clamped
// outside), written without calls or branches so that the gate loops
// vectorise: x = n ln 2 + r with |r| <= ln 2 / 2, e^r by its Taylor
// polynomial, 2^n put into the exponent bits.
inline float exp_approx(float x) {
    x = x < -87.0f ? -87.0f : x;
    x = x > 87.0f ? 87.0f : x;
    const float n = (x * 1.44269504f + 12582912.0f) - 12582912.0f;  // rounded to the nearest integer
    const float r = (x - n * 0.693359375f) + n * 2.12194440e-4f;    // ln 2 in two parts
    float p = 1.0f / 5040.0f;
    p = p * r + 1.0f / 720.0f;
    p = p * r + 1.0f / 120.0f;
    p = p * r + 1.0f / 24.0f;
    p = p * r + 1.0f / 6.0f;
    p = p * r + 0.5f;
    p = p * r + 1.0f;
    p = p * r + 1.0f;
    const std::int32_t bits = (static_cast<std::int32_t>(n) + 127) << 23;
    float scale;
    std::memcpy(&scale, &bits, sizeof scale);
    return p * scale;
}

// 1 / (1 + e^(-a x)): the sigmoid with a = 1, and (tanh x + 1) / 2 with a = 2.
inline float logistic(float x, float a) { return 1.0f / (1.0f + exp_approx(-a * x)); }

}  // namespace

std::unique_ptr<PolyphoneModel> PolyphoneModel::open(const std::string &path, std::string &error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open the polyphone model " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(kHeaderBytes)) {
        error = "the polyphone model " + path + " is too short";
        ::close(fd);
        return nullptr;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void *map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) {
        error = "cannot map the polyphone model " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<PolyphoneModel> model(new PolyphoneModel);
    model->map_ = map;
    model->size_ = size;
    if (!model->load(error)) {
        error = "the polyphone model " + path + " " + error;
        return nullptr;
    }
    return model;
}

PolyphoneModel::~PolyphoneModel() {
    if (map_ != nullptr) munmap(map_, size_);
}

bool PolyphoneModel::load(std::string &error) {
    const auto *base = static_cast<const unsigned char *>(map_);
    Header h{};
    std::memcpy(&h, base, sizeof h);
    if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0 || h.version != 1) {
        error = "is not a polyphone model of this version";
        return false;
    }
    if (h.hidden != kHidden || h.dense != kDense || h.inputs == 0 || h.inputs > 0xFFFF || h.classes == 0 ||
        h.classes >= kNoClass || h.bos >= h.inputs || h.eos >= h.inputs || h.unk >= h.inputs) {
        error = "has sizes this reader does not take";
        return false;
    }
    // Every section's place, checked against the file's size before use.
    std::size_t at = kHeaderBytes;
    const auto take = [&](std::size_t bytes) {
        const std::size_t here = at;
        at = pad16(at + bytes);
        return here;
    };
    const std::size_t codes = take(std::size_t{h.lookup} * 4);
    const std::size_t index = take(std::size_t{h.lookup} * 2);
    const std::size_t decided = take(std::size_t{h.polyphones} * 4);
    const std::size_t scales = h.quantised ? take(std::size_t{h.inputs} * 2 * 4) : 0;
    const std::size_t proj = take(std::size_t{h.inputs} * 2 * kGates * (h.quantised ? 1 : 4));
    const std::size_t weights = take((2 * kGates + 2 * kHidden * kGates + kDense * 2 * kHidden + kDense +
                                      std::size_t{h.classes} * kDense + h.classes) * 4);
    const std::size_t names = at;
    if (names + h.class_text_bytes != size_ || h.class_text_bytes == 0 || base[size_ - 1] != '\0') {
        error = "is truncated or has the wrong size";
        return false;
    }
    inputs_ = h.inputs;
    lookup_ = h.lookup;
    hidden_ = kHidden;
    dense_ = kDense;
    bos_ = static_cast<std::uint16_t>(h.bos);
    eos_ = static_cast<std::uint16_t>(h.eos);
    unk_ = static_cast<std::uint16_t>(h.unk);
    codes_ = reinterpret_cast<const std::uint32_t *>(base + codes);
    index_ = reinterpret_cast<const std::uint16_t *>(base + index);
    for (std::size_t k = 0; k < lookup_; ++k) {
        if (index_[k] >= inputs_ || (k > 0 && codes_[k] <= codes_[k - 1])) {
            error = "has a bad character table";
            return false;
        }
    }
    decided_ = reinterpret_cast<const std::uint32_t *>(base + decided);
    polyphones_ = h.polyphones;
    if (!std::is_sorted(decided_, decided_ + polyphones_)) {
        error = "has a bad polyphone table";
        return false;
    }
    if (h.quantised) {
        scales_ = reinterpret_cast<const float *>(base + scales);
        proj_q_ = reinterpret_cast<const std::int8_t *>(base + proj);
    } else {
        proj_f_ = reinterpret_cast<const float *>(base + proj);
    }
    const auto *w = reinterpret_cast<const float *>(base + weights);
    bias_ = w;
    w_hh_ = bias_ + 2 * kGates;
    hidden_w_ = w_hh_ + 2 * kHidden * kGates;
    hidden_b_ = hidden_w_ + kDense * 2 * kHidden;
    output_w_ = hidden_b_ + kDense;
    output_b_ = output_w_ + std::size_t{h.classes} * kDense;
    const char *text = reinterpret_cast<const char *>(base + names);
    for (std::size_t k = 0, from = 0; k < h.classes; ++k) {
        const void *nul = from < h.class_text_bytes ? std::memchr(text + from, '\0', h.class_text_bytes - from) : nullptr;
        if (nul == nullptr) {
            error = "has fewer class names than classes";
            return false;
        }
        const std::size_t to = static_cast<std::size_t>(static_cast<const char *>(nul) - text);
        names_.emplace_back(text + from, to - from);
        classes_.emplace(names_.back(), static_cast<std::uint16_t>(k));
        from = to + 1;
    }
    return true;
}

std::uint16_t PolyphoneModel::input(char32_t c) const {
    const std::uint32_t *end = codes_ + lookup_;
    const std::uint32_t *at = std::lower_bound(codes_, end, static_cast<std::uint32_t>(c));
    return at != end && *at == c ? index_[at - codes_] : unk_;
}

bool PolyphoneModel::reads(char32_t c) const {
    return std::binary_search(decided_, decided_ + polyphones_, static_cast<std::uint32_t>(c));
}

std::uint16_t PolyphoneModel::class_of(std::string_view syllable) const {
    const auto at = classes_.find(syllable);
    return at == classes_.end() ? kNoClass : at->second;
}

// Built twice, for AVX2 (the gate loops run on eight floats at a time) and
// for any x86-64, and chosen when the library is loaded. Not with clang 14,
// which defines no symbol that other files can call for a member function
// built this way, nor under the sanitizers, whose runtimes are not ready
// when the loader picks the version (ThreadSanitizer crashes there).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__) && \
    !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("avx2", "default")))
#endif
void PolyphoneModel::step(std::uint16_t input, int direction, float *h, float *c) const {
    const float *bias = bias_ + direction * kGates;
    const float *w_hh = w_hh_ + direction * kHidden * kGates;
    float z[kGates];
    const std::size_t row = std::size_t{input} * 2 + static_cast<std::size_t>(direction);
    if (proj_q_ != nullptr) {
        const std::int8_t *q = proj_q_ + row * kGates;
        const float scale = scales_[row];
        for (std::size_t g = 0; g < kGates; ++g) z[g] = bias[g] + scale * static_cast<float>(q[g]);
    } else {
        const float *p = proj_f_ + row * kGates;
        for (std::size_t g = 0; g < kGates; ++g) z[g] = bias[g] + p[g];
    }
    // W_hh h, 32 gates at a time, their sums kept in eight registers.
    for (std::size_t from = 0; from < kGates; from += 32) {
        V4 s0 = load4(z + from), s1 = load4(z + from + 4), s2 = load4(z + from + 8), s3 = load4(z + from + 12);
        V4 s4 = load4(z + from + 16), s5 = load4(z + from + 20), s6 = load4(z + from + 24), s7 = load4(z + from + 28);
        for (std::size_t j = 0; j < kHidden; ++j) {
            const V4 hj = {h[j], h[j], h[j], h[j]};
            const float *col = w_hh + j * kGates + from;
            s0 += load4(col) * hj;
            s1 += load4(col + 4) * hj;
            s2 += load4(col + 8) * hj;
            s3 += load4(col + 12) * hj;
            s4 += load4(col + 16) * hj;
            s5 += load4(col + 20) * hj;
            s6 += load4(col + 24) * hj;
            s7 += load4(col + 28) * hj;
        }
        store4(z + from, s0), store4(z + from + 4, s1), store4(z + from + 8, s2), store4(z + from + 12, s3);
        store4(z + from + 16, s4), store4(z + from + 20, s5), store4(z + from + 24, s6), store4(z + from + 28, s7);
    }
    // Gates in the order input, forget, cell candidate, output; the cell
    // candidate is tanh, 2 logistic(2 z) - 1.
    for (std::size_t g = 0; g < 2 * kHidden; ++g) z[g] = logistic(z[g], 1.0f);
    for (std::size_t g = 2 * kHidden; g < 3 * kHidden; ++g) z[g] = 2.0f * logistic(z[g], 2.0f) - 1.0f;
    for (std::size_t g = 3 * kHidden; g < kGates; ++g) z[g] = logistic(z[g], 1.0f);
    for (std::size_t k = 0; k < kHidden; ++k) {
        c[k] = z[kHidden + k] * c[k] + z[k] * z[2 * kHidden + k];
        h[k] = z[3 * kHidden + k] * (2.0f * logistic(c[k], 2.0f) - 1.0f);
    }
}

void PolyphoneModel::score(const float *state, const std::uint16_t *classes, std::size_t n, float *scores) const {
    float dense[kDense];
    for (std::size_t d = 0; d < kDense; ++d) {
        const float *w = hidden_w_ + d * 2 * kHidden;
        float sum = hidden_b_[d];
        for (std::size_t k = 0; k < 2 * kHidden; ++k) sum += w[k] * state[k];
        dense[d] = sum > 0.0f ? sum : 0.0f;
    }
    for (std::size_t m = 0; m < n; ++m) {
        const float *w = output_w_ + std::size_t{classes[m]} * kDense;
        float sum = output_b_[classes[m]];
        for (std::size_t d = 0; d < kDense; ++d) sum += w[d] * dense[d];
        scores[m] = sum;
    }
}

std::string polyphone_model_path(const std::string &lexicon_file) {
    if (const char *env = std::getenv("SPEECH_SERVICE_POLYPHONE_MODEL"); env != nullptr && *env != '\0') return env;
    const std::size_t slash = lexicon_file.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : lexicon_file.substr(0, slash);
    return folder + "/mandarin-polyphones.bin";
}

}  // namespace speech::mandarin
