// SPDX-License-Identifier: Apache-2.0
// What the engine is given for a text: segments, each spoken by one engine
// voice. Mandarin readings go to the pinyin voice as tone-numbered
// syllables with the clause marks it pauses on ("yin2 hang2， yi2 ge4。");
// English readings go to the English voice.
#ifndef SPEECH_MANDARIN_ENGINE_TEXT_H
#define SPEECH_MANDARIN_ENGINE_TEXT_H

#include <string>
#include <string_view>
#include <vector>

#include "front_end.h"

namespace speech::mandarin {

inline constexpr const char *kPinyinVoice = "cmn-latn-pinyin";
inline constexpr const char *kEnglishVoice = "en";

struct VoiceText {
    std::string voice;
    std::string text;
};

// Builds the segments batch by batch.
class EngineTextBuilder {
public:
    void add(const std::vector<Token> &tokens);
    void add(const Token &token);
    // The segments so far; the builder is empty afterwards.
    std::vector<VoiceText> take();

private:
    void append(const char *voice, std::string_view words);
    std::vector<VoiceText> segments_;
};

// The segments for `text` read under `mode`; those read so far when
// `cancel` is set during the reading.
std::vector<VoiceText> engine_text(const Lexicon &lexicon, std::string_view text, NumberMode mode,
                                   const std::atomic<bool> *cancel = nullptr);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_ENGINE_TEXT_H
