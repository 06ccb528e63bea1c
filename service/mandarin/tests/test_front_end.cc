// SPDX-License-Identifier: Apache-2.0
// Tokens: normalisation, other scripts, punctuation, bad bytes, long texts,
// and the invariants of the reading table.
#include <gtest/gtest.h>

#include <string>

#include "front_end_test_util.h"
#include "latin_words.h"
#include "reading_table.h"

namespace speech::mandarin {
namespace {

using testing::kMixed;
using testing::tokens_of;

struct Case {
    const char *text;
    const char *tokens;
};

TEST(FrontEnd, ScriptsAndSigns) {
    const Case cases[] = {
        {"我們去銀行", "我:wo3 / 們:men5 / 去:qu4 / 銀行:yin2 hang2"},
        {"我㢢行㢢", "我:wo3 / 㢢: / 行:hang2 / 㢢:"},
        {"ＯＫ，１２３", "ＯＫ:en:O.K. / ，: / １２３:yi4 bai3 er4 shi2 san1"},
        {"Hello world", "Hello:en:Hello / world:en:world"},
        {"USA好", "USA:en:U.S.A. / 好:hao3"},
        {"I'm OK", "I'm:en:I'm / OK:en:O.K."},
        {"A股", "A:en:A. / 股:zi4"},
        {"ni3 hao3", "ni3:ni3 / hao3:hao3"},
        {"ni3hao3!", "ni3hao3:ni3 hao3 / !:"},
        {"Lü4 lv4", "Lü4:lv4 / lv4:lv4"},
        {"MP3", "MP:en:M.P. / 3:san1"},
        {"ma35", "ma:en:ma / 35:san1 shi2 wu3"},
        {"café", "café:en:café"},
        {"你好😀！", "你:ni3 / 好:hao3 / 😀: / ！:"},
        {"👍🏽", "👍🏽:"},
        {"「你」……", "「: / 你:ni3 / 」……:"},
        {"a@b", "a:en:a / @:en:at / b:en:b"},
        {"me@example.com.", "me:en:me / @:en:at / example.com:en:example.com / .:"},
        {"U.S.A好", "U.S.A:en:U.S.A / 好:hao3"},
        {"COVID-19", "COVID:en:C.O.V.I.D. / -: / 19:shi2 jiu3"},
        {"Привет", "П: / р: / и: / в: / е: / т:"},
        {"\t 你\r\n好\x01", "你:ni3 / 好:hao3"},
        {"", ""},
    };
    for (const Case &c : cases) EXPECT_EQ(tokens_of(c.text, 0), c.tokens) << c.text;
}

// Format characters that do not show cut no word and no number.
TEST(FrontEnd, InvisibleCharactersJoin) {
    const Case cases[] = {
        {"银\u200B行", "银\u200B行:yin2 hang2"},
        {"银\u200C行", "银\u200C行:yin2 hang2"},
        {"银\u200D行", "银\u200D行:yin2 hang2"},
        {"银\u2060行", "银\u2060行:yin2 hang2"},
        {"银\uFEFF行", "银\uFEFF行:yin2 hang2"},
        {"银\u00AD行", "银\u00AD行:yin2 hang2"},
        {"1\u200B000", "1\u200B000:yi4 qian1"},
        {"\uFEFF2\u200B个", "2:liang3 / 个:ge4"},
    };
    for (const Case &c : cases) EXPECT_EQ(tokens_of(c.text, 0), c.tokens) << c.text;
}

TEST(FrontEnd, PinyinSyllables) {
    for (const char *s : {"a", "er", "zhuang", "lve", "nv", "yuan", "wo", "xiong", "qu", "shi", "ri", "ang"})
        EXPECT_TRUE(is_pinyin_syllable(s)) << s;
    for (const char *s : {"", "x", "xa", "wi", "yv", "zhv2", "hm", "mp", "ng", "ipod", "Ni"})
        EXPECT_FALSE(is_pinyin_syllable(s)) << s;
}

TEST(FrontEnd, PunctuationPauses) {
    const struct {
        const char *text;
        const char *pause;
    } cases[] = {
        {"，", "，"}, {",", "，"}, {"、", "，"}, {"。", "。"}, {".", "。"},   {"！？", "？"},
        {"?!", "？"}, {"；", "；"}, {"：", "："}, {"……", "，"}, {"“", nullptr}, {"（", nullptr},
    };
    for (const auto &c : cases) {
        const auto tokens = read_text(*default_lexicon(), c.text, NumberMode::by_context);
        ASSERT_EQ(tokens.size(), 1u) << c.text;
        EXPECT_EQ(tokens[0].kind, TokenKind::punctuation) << c.text;
        if (c.pause == nullptr) {
            EXPECT_EQ(tokens[0].pause, nullptr) << c.text;
        } else {
            EXPECT_STREQ(tokens[0].pause, c.pause) << c.text;
        }
    }
}

TEST(FrontEnd, BytesThatAreNotUtf8AreUnspokenSymbols) {
    const std::string text = "你\xff\xc3(好\xe4\xbd";
    const auto tokens = read_text(*default_lexicon(), text, NumberMode::by_context);
    std::string joined;
    for (const Token &t : tokens) joined.append(text, t.begin, t.end - t.begin);
    EXPECT_EQ(joined, text);
    EXPECT_EQ(tokens_of(text, 0), "你:ni3 / \xff: / \xc3: / (: / 好:hao3 / \xe4: / \xbd:");
}

TEST(FrontEnd, TableInvariantsForEachRdn) {
    for (int rdn = 0; rdn <= 2; ++rdn) {
        testing::check_table(kMixed, reading_table(*default_lexicon(), kMixed, static_cast<NumberMode>(rdn)));
    }
}

TEST(FrontEnd, TenMegabytesInPieces) {
    std::string text;
    while (text.size() < 10 * 1024 * 1024) text += kMixed;
    std::size_t tokens = 0, batches = 0, last_end = 0;
    bool ordered = true;
    read_text(*default_lexicon(), text, NumberMode::by_context, [&](const std::vector<Token> &batch) {
        ++batches;
        for (const Token &t : batch) {
            ordered = ordered && t.begin >= last_end && t.end > t.begin;
            last_end = t.end;
        }
        tokens += batch.size();
    });
    EXPECT_TRUE(ordered);
    EXPECT_GT(batches, 100u);  // bounded pieces, not one piece of 10 MB
    EXPECT_LE(last_end, text.size());
    // The same text with no blank at all: pieces are cut between characters.
    std::string han(3 * 1024 * 1024, ' ');
    for (std::size_t k = 0; k + 3 <= han.size(); k += 3) han.replace(k, 3, "银");
    std::size_t han_tokens = 0;
    read_text(*default_lexicon(), han, NumberMode::by_context,
              [&](const std::vector<Token> &batch) { han_tokens += batch.size(); });
    EXPECT_EQ(han_tokens, han.size() / 3);
}

}  // namespace
}  // namespace speech::mandarin
