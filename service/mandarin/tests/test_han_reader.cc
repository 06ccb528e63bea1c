// SPDX-License-Identifier: Apache-2.0
// Readings of Han text in context: polyphonic characters by their word and
// neighbours, the tone changes of 一 and 不, neutral tones, traditional input.
#include <gtest/gtest.h>

#include <string>

#include "han_reader.h"
#include "lexicon.h"

namespace speech::mandarin {
namespace {

const Lexicon &lexicon() {
    static std::unique_ptr<Lexicon> lex = [] {
        std::string error;
        auto l = Lexicon::open(MANDARIN_TEST_LEXICON, error);
        if (!l) ADD_FAILURE() << error;
        return l;
    }();
    return *lex;
}

// The syllables of `text` (simplified first), joined by blanks.
std::string reading(std::u32string text) {
    for (char32_t &c : text) c = to_simplified(lexicon(), c);
    std::string out;
    for (const HanWord &w : read_han(lexicon(), text))
        for (const std::string &s : w.syllables) out += (out.empty() ? "" : " ") + s;
    return out;
}

struct Case {
    const char32_t *text;
    const char *expected;
};

void check(const Case *cases, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        std::u32string text = cases[i].text;
        EXPECT_EQ(reading(text), cases[i].expected) << "case " << i;
    }
}

TEST(HanReader, PolyphonesByWord) {
    static const Case cases[] = {
        {U"银行", "yin2 hang2"},
        {U"长大", "zhang3 da4"},
        {U"音乐", "yin1 yue4"},
        {U"睡觉", "shui4 jiao4"},
        {U"还钱", "huan2 qian2"},
        {U"角色", "jue2 se4"},
        {U"重新", "chong2 xin1"},
        {U"行走", "xing2 zou3"},
        {U"银行行长", "yin2 hang2 hang2 zhang3"},
    };
    check(cases, std::size(cases));
}

}  // namespace
}  // namespace speech::mandarin
