// SPDX-License-Identifier: Apache-2.0
#include "engine_text.h"

#include <cstring>

#include "symbols.h"

namespace speech::mandarin {
namespace {

constexpr std::string_view kEnglishPrefix = "en:";

bool ends_with(const std::string &s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

void EngineTextBuilder::append(const char *voice, std::string_view words) {
    if (segments_.empty() || segments_.back().voice != voice) segments_.push_back(VoiceText{voice, {}});
    std::string &text = segments_.back().text;
    if (!text.empty() && text.back() != ' ') text += ' ';
    text.append(words);
}

void EngineTextBuilder::add(const Token &token) {
    const std::string_view reading = token.reading;
    if (reading.compare(0, kEnglishPrefix.size(), kEnglishPrefix) == 0) {
        append(kEnglishVoice, reading.substr(kEnglishPrefix.size()));
        return;
    }
    if (!reading.empty()) {
        append(kPinyinVoice, reading);
        return;
    }
    // A pause is kept in the segment it ends; at the start there is nothing to end.
    if (token.pause == nullptr || segments_.empty()) return;
    VoiceText &last = segments_.back();
    if (last.voice == kPinyinVoice) {
        for (const char *mark : {"，", "：", "；", "。", "！", "？"})
            if (ends_with(last.text, mark)) return;
        last.text += token.pause;
    } else {
        if (!last.text.empty() && std::strchr(",:;.!?", last.text.back()) != nullptr) return;
        last.text += english_pause(token.pause);
    }
}

void EngineTextBuilder::add(const std::vector<Token> &tokens) {
    for (const Token &t : tokens) add(t);
}

std::vector<VoiceText> EngineTextBuilder::take() {
    std::vector<VoiceText> out;
    out.swap(segments_);
    return out;
}

std::vector<VoiceText> engine_text(const Lexicon &lexicon, std::string_view text, NumberMode mode,
                                   const std::atomic<bool> *cancel) {
    EngineTextBuilder builder;
    read_text(lexicon, text, mode, [&builder](const std::vector<Token> &tokens) { builder.add(tokens); }, cancel);
    return builder.take();
}

}  // namespace speech::mandarin
