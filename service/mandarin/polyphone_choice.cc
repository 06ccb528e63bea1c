// SPDX-License-Identifier: Apache-2.0
// The combination of the rules and the trained model. The model is asked
// about the characters it was trained on that the lexicon gives several
// readings, but not where the rules keep theirs (rules_keep(), 一 and 不);
// its reading replaces the rules' when it differs and the model finds it
// enough more likely than the rules' reading. How much depends on where the
// rules' reading came from (a word of the lexicon is right more often than
// a character's most frequent reading): the thresholds below were fitted on
// the CPP development split, and are checked by cross-validation with
// bench/polyphones.py --combination (docs/polyphone-model.md).
#include <algorithm>
#include <cmath>
#include <string_view>

#include "lexicon.h"
#include "polyphone_model.h"
#include "polyphone_reader.h"
#include "reading_context.h"

namespace speech::mandarin {

bool SentenceModel::start(const PolyphoneModel &model, std::u32string_view chars) {
    if (model_ == &model && chars_ == chars) return false;
    model_ = &model;
    chars_.assign(chars.begin(), chars.end());
    inputs_.clear();
    forward_to_ = backward_from_ = 0;  // nothing done: inputs_ is filled on the first state()
    return true;
}

const float *SentenceModel::state(std::size_t k) {
    if (inputs_.empty()) {
        inputs_.reserve(chars_.size() + 2);
        inputs_.push_back(model_->begin_input());
        for (const char32_t c : chars_) inputs_.push_back(model_->input(c));
        inputs_.push_back(model_->end_input());
        states_.assign(inputs_.size() * 2 * kHidden, 0.0f);
        std::fill(std::begin(forward_h_), std::end(forward_h_), 0.0f);
        std::fill(std::begin(forward_c_), std::end(forward_c_), 0.0f);
        std::fill(std::begin(backward_h_), std::end(backward_h_), 0.0f);
        std::fill(std::begin(backward_c_), std::end(backward_c_), 0.0f);
        forward_to_ = 0;
        backward_from_ = inputs_.size();
    }
    const std::size_t position = k + 1;  // after the begin mark
    for (; forward_to_ <= position; ++forward_to_) {
        model_->step(inputs_[forward_to_], 0, forward_h_, forward_c_);
        std::copy(std::begin(forward_h_), std::end(forward_h_), states_.data() + forward_to_ * 2 * kHidden);
    }
    while (backward_from_ > position) {
        --backward_from_;
        model_->step(inputs_[backward_from_], 1, backward_h_, backward_c_);
        std::copy(std::begin(backward_h_), std::end(backward_h_), states_.data() + backward_from_ * 2 * kHidden + kHidden);
    }
    return states_.data() + position * 2 * kHidden;
}

namespace {

constexpr std::size_t kMaxCandidates = 16;
constexpr float kNever = 1e30f;
constexpr float kCertain = 1e20f;        // the margin when the model does not know the rules' reading
constexpr float kUnknownToModel = 1e19f;  // a threshold only that margin reaches

// Words the lexicon gives a cost below this are common ones (头发 10278,
// 觉得 7800, 很长 11136, 理发店 12417); above it, rare words and names.
constexpr std::uint16_t kRareWordCost = 12500;

// The model's reading replaces the rules' when the log of its probability
// over that of the rules' reading is at least this, by the source of the
// rules' reading.
float threshold(const CharReading &cr) {
    switch (cr.source) {
        case Source::character: return 0.25f;
        // A word of the lexicon, or one whose reading it derived, keeps its
        // reading when it is a common word, unless the model does not know
        // that reading at all: the model is sure and wrong on everyday words
        // whose reading its training data (Wikipedia) rarely has (头发 fa1,
        // 很长 zhang3), which the development split, from the same source,
        // does not show.
        case Source::derived:
        case Source::word: return cr.word_cost >= kRareWordCost ? 8.0f : kUnknownToModel;
        default: return kNever;
    }
}

// What the rules keep whatever the model says: the readings set by a
// context rule; the neutral tones of the words the lexicon gives a reading
// (觉得, 牌子), though not of those whose reading it only derived from their
// characters (吡咯 would keep 咯's usual lo5); and
// a character after a number or a numeral, where it is a measure word
// (3个, 两行) and the model, which reads digits as characters, is least
// sure of its ground.
bool rules_keep(const RunReading &run, std::size_t i) {
    const CharReading &cr = run.chars[i];
    if (cr.source == Source::rule) return true;
    if (cr.source == Source::word && !cr.syllable.empty() && cr.syllable.back() == '5')
        return true;
    const char32_t before = run.seen(static_cast<std::ptrdiff_t>(i) - 1);
    return before == kSeenNumber || std::u32string_view(U"〇零一二三四五六七八九十两百千万亿几半").find(before) != std::u32string_view::npos;
}

}  // namespace

void apply_polyphone_model(RunReading &run, const ModelView &view) {
    const Lexicon &lexicon = *run.lexicon;
    const PolyphoneModel *model = lexicon.polyphone_model();
    if (model == nullptr) return;
    std::uint16_t classes[kMaxCandidates];
    float scores[kMaxCandidates];
    for (std::size_t i = 0; i < run.size(); ++i) {
        CharReading &cr = run.chars[i];
        if (cr.source == Source::none || cr.c == U'一' || cr.c == U'不' || (cr.c == U'的' && run.single(i)) ||
            !model->reads(cr.c) || rules_keep(run, i))
            continue;
        if (view.offset + i >= view.sentence->size()) break;
        const std::uint16_t index = lexicon.char_index(cr.c);
        std::size_t n = 0, rules = kMaxCandidates;  // the candidate the rules chose
        for (std::size_t k = 0, count = lexicon.reading_count(index); k < count && n < kMaxCandidates; ++k) {
            const std::uint16_t id = lexicon.reading(index, k).syllable;
            const std::uint16_t cls = lexicon.model_class(id);
            if (cls == kNoClass || std::find(classes, classes + n, cls) != classes + n) continue;
            if (lexicon.syllable(id) == cr.syllable) rules = n;
            classes[n++] = cls;
        }
        if (n < 2) continue;
        model->score(view.sentence->state(view.offset + i), classes, n, scores);
        const std::size_t best = static_cast<std::size_t>(std::max_element(scores, scores + n) - scores);
        float sum = 0.0f;
        for (std::size_t k = 0; k < n; ++k) sum += std::exp(scores[k] - scores[best]);
        cr.model_syllable = model->class_name(classes[best]);
        cr.model_probability = 1.0f / sum;
        cr.rule_probability = rules < n ? std::exp(scores[rules] - scores[best]) / sum : 0.0f;
        // log(p_model / p_rules); a reading of the rules the model does not
        // know counts as improbable.
        const float margin = rules < n ? scores[best] - scores[rules] : kCertain;
        if (view.combine && cr.model_syllable != cr.syllable && margin >= threshold(cr)) {
            cr.syllable = cr.model_syllable;
            cr.source = Source::model;
        }
    }
}

}  // namespace speech::mandarin
