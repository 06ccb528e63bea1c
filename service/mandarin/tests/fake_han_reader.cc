// SPDX-License-Identifier: Apache-2.0
// A stand-in for the lexicon in the front end's unit tests: a few
// characters with fixed readings (㢢 with none), one word per character
// but 银行 and 㢢行, so that the tests of numbers, tokens and engine text do
// not depend on the data.
#include <map>

#include "han_reader.h"

namespace speech::mandarin {

class Lexicon {};

namespace {

const std::map<char32_t, const char *> &readings() {
    static const std::map<char32_t, const char *> table = {
        {U'银', "yin2"}, {U'行', "hang2"}, {U'个', "ge4"},  {U'年', "nian2"}, {U'月', "yue4"}, {U'日', "ri4"},
        {U'元', "yuan2"}, {U'第', "di4"},  {U'我', "wo3"},  {U'们', "men5"},  {U'去', "qu4"},  {U'好', "hao3"},
        {U'你', "ni3"},  {U'电', "dian4"}, {U'话', "hua4"}, {U'号', "hao4"},  {U'人', "ren2"}, {U'天', "tian1"},
        {U'点', "dian3"}, {U'万', "wan4"}, {U'本', "ben3"}, {U'书', "shu1"},  {U'是', "shi4"}, {U'长', "chang2"}, {U'㢢', ""},
    };
    return table;
}

}  // namespace

const Lexicon *test_lexicon() {
    static const Lexicon lexicon;
    return &lexicon;
}

bool is_han(char32_t c) {
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x20000 && c <= 0x3134F) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x2F800 && c <= 0x2FA1F) || c == 0x3007;
}

char32_t to_simplified(const Lexicon &, char32_t c) {
    switch (c) {
        case U'們': return U'们';
        case U'銀': return U'银';
        case U'個': return U'个';
        case U'長': return U'长';
        case U'書': return U'书';
        default: return c;
    }
}

bool has_polyphone_model(const Lexicon &) { return false; }

std::vector<HanWord> read_han(const Lexicon &, std::u32string_view run, const RunEdges &, const Sentence *) {
    std::vector<HanWord> words;
    for (std::size_t i = 0; i < run.size(); ++i) {
        const bool pair = i + 1 < run.size() && run[i + 1] == U'行' && (run[i] == U'银' || run[i] == U'㢢');
        HanWord word;
        word.length = pair ? 2 : 1;
        for (std::size_t k = i; k < i + word.length; ++k) {
            const auto it = readings().find(run[k]);
            word.syllables.push_back(it != readings().end() ? it->second : "zi4");
        }
        words.push_back(std::move(word));
        i += word.length - 1;
    }
    return words;
}

}  // namespace speech::mandarin
