// SPDX-License-Identifier: Apache-2.0
#include "symbols.h"

#include <cstring>

namespace speech::mandarin {
namespace {

// From the weakest to the strongest.
constexpr const char *kPauses[] = {"，", "：", "；", "。", "！", "？"};
constexpr const char *kEnglish[] = {",", ":", ";", ".", "!", "?"};

int rank(const char *pause) {
    if (pause == nullptr) return -1;
    for (int k = 0; k < 6; ++k)
        if (std::strcmp(pause, kPauses[k]) == 0) return k;
    return -1;
}

struct Spoken {
    char32_t c;
    const char *reading;
};
constexpr Spoken kSpoken[] = {
    {U'+', "jia1"},           {U'=', "deng3 yu2"},      {U'×', "cheng2"},        {U'÷', "chu2 yi3"},
    {U'%', "bai3 fen1 hao4"}, {U'‰', "qian1 fen1 hao4"}, {U'℃', "she4 shi4 du4"}, {U'℉', "hua2 shi4 du4"},
    {U'°', "du4"},            {U'¥', "yuan2"},           {U'$', "mei3 yuan2"},    {U'€', "ou1 yuan2"},
    {U'£', "ying1 bang4"},    {U'@', "en:at"},           {U'&', "en:and"},
};

}  // namespace

const char *pause_of(char32_t c) {
    switch (c) {
        case U'，': case U',': case U'、': case U'…': case U'—': case U'―': return kPauses[0];
        case U':': return kPauses[1];
        case U';': return kPauses[2];
        case U'。': case U'.': case U'｡': return kPauses[3];
        case U'!': return kPauses[4];
        case U'?': return kPauses[5];
        default: return nullptr;
    }
}

const char *stronger_pause(const char *a, const char *b) { return rank(b) > rank(a) ? b : a; }

const char *english_pause(const char *pause) {
    const int k = rank(pause);
    return k < 0 ? nullptr : kEnglish[k];
}

const char *symbol_reading(char32_t c) {
    for (const Spoken &s : kSpoken)
        if (s.c == c) return s.reading;
    return nullptr;
}

}  // namespace speech::mandarin
