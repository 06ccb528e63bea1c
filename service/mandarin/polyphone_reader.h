// SPDX-License-Identifier: Apache-2.0
// The trained model's part in reading a run of Han characters: the model's
// states over the sentence the run is in (computed once, when a character
// of the sentence first asks), and where the run sits in it.
#ifndef SPEECH_MANDARIN_POLYPHONE_READER_H
#define SPEECH_MANDARIN_POLYPHONE_READER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace speech::mandarin {

class PolyphoneModel;

// The model's states over one sentence, computed when first asked for.
class SentenceModel {
  public:
    // Takes `chars` as the sentence; false when it is the one already held.
    bool start(const PolyphoneModel &model, std::u32string_view chars);
    std::size_t size() const { return chars_.size(); }
    // The model's state (forward then backward) at character k of the
    // sentence. The forward LSTM runs from the start only as far as the
    // last character asked about, the backward one from the end only down
    // to the first.
    const float *state(std::size_t k);

  private:
    static constexpr std::size_t kHidden = 32;
    const PolyphoneModel *model_ = nullptr;
    std::u32string chars_;
    std::vector<std::uint16_t> inputs_;  // begin mark, the characters, end mark
    std::vector<float> states_;          // 2 * kHidden a position
    std::size_t forward_to_ = 0;         // positions [0, forward_to_) done forward
    std::size_t backward_from_ = 0;      // positions [backward_from_, end) done backward
    float forward_h_[kHidden], forward_c_[kHidden], backward_h_[kHidden], backward_c_[kHidden];
};

// Where a run of Han characters sits in its sentence.
struct ModelView {
    SentenceModel *sentence = nullptr;
    std::size_t offset = 0;  // the sentence character of the run's first
    bool combine = true;     // false: note what the model says, keep the rules' reading
};

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_POLYPHONE_READER_H
