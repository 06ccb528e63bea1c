// SPDX-License-Identifier: Apache-2.0
// The trained polyphone reader: a character BiLSTM that scores the readings
// of a character from the whole sentence around it. The file
// (mandarin-polyphones.bin, written by convert_polyphone_model.py) is mapped
// read-only; a sentence is run through both LSTMs once, and the dense layers
// only at the characters asked about, for their candidate readings only.
#ifndef SPEECH_MANDARIN_POLYPHONE_MODEL_H
#define SPEECH_MANDARIN_POLYPHONE_MODEL_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace speech::mandarin {

inline constexpr std::uint16_t kNoClass = 0xFFFF;

class PolyphoneModel {
  public:
    // Maps `path`; null with a message in `error` when it is missing,
    // truncated or not a model.
    static std::unique_ptr<PolyphoneModel> open(const std::string &path, std::string &error);
    ~PolyphoneModel();
    PolyphoneModel(const PolyphoneModel &) = delete;
    PolyphoneModel &operator=(const PolyphoneModel &) = delete;

    std::size_t hidden() const { return hidden_; }
    // The input index of a (normalised) character; the unknown one if it
    // has none.
    std::uint16_t input(char32_t c) const;
    // True for a character the model was trained to read.
    bool reads(char32_t c) const;
    std::uint16_t begin_input() const { return bos_; }
    std::uint16_t end_input() const { return eos_; }
    // The class of a tone-numbered syllable ("hang2"), or kNoClass.
    std::uint16_t class_of(std::string_view syllable) const;
    std::string_view class_name(std::uint16_t k) const { return k < names_.size() ? names_[k] : std::string_view(); }

    // One step of the forward (direction 0) or backward (1) LSTM: reads
    // `input` and updates its state, h and c (hidden() numbers each).
    void step(std::uint16_t input, int direction, float *h, float *c) const;
    // The scores of `classes` at the position whose 2 * hidden() numbers
    // are `state`.
    void score(const float *state, const std::uint16_t *classes, std::size_t n, float *scores) const;

  private:
    PolyphoneModel() = default;
    bool load(std::string &error);

    void *map_ = nullptr;
    std::size_t size_ = 0;
    std::size_t hidden_ = 0, dense_ = 0, inputs_ = 0, lookup_ = 0;
    std::uint16_t bos_ = 0, eos_ = 0, unk_ = 0;
    const std::uint32_t *codes_ = nullptr;
    const std::uint16_t *index_ = nullptr;
    const std::uint32_t *decided_ = nullptr;
    std::size_t polyphones_ = 0;
    const float *scales_ = nullptr;     // null when the projections are float
    const std::int8_t *proj_q_ = nullptr;
    const float *proj_f_ = nullptr;
    const float *bias_ = nullptr;
    const float *w_hh_ = nullptr;
    const float *hidden_w_ = nullptr, *hidden_b_ = nullptr;
    const float *output_w_ = nullptr, *output_b_ = nullptr;
    std::vector<std::string_view> names_;
    std::unordered_map<std::string_view, std::uint16_t> classes_;
};

// The model file used by default: $SPEECH_SERVICE_POLYPHONE_MODEL, or
// mandarin-polyphones.bin beside the lexicon file.
std::string polyphone_model_path(const std::string &lexicon_file);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_POLYPHONE_MODEL_H
