// SPDX-License-Identifier: Apache-2.0
// Tokens: normalisation, other scripts, punctuation, bad bytes, long texts,
// and the invariants of the reading table.
#include <gtest/gtest.h>

#include <string>

#include "front_end_test_util.h"
#include "pinyin_syllables.h"
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
    for (const char *s : {"a", "er", "zhuang", "lve", "nv", "yuan", "wo", "xiong", "qu", "shi", "ri", "ang",
                          "yo", "dia", "lue"})
        EXPECT_TRUE(is_pinyin_syllable(s)) << s;
    for (const char *s : {"", "x", "xa", "wi", "yv", "zhv2", "hm", "mp", "ng", "ipod", "Ni", "bia", "gv", "jv",
                          "fe", "hi", "go", "biang", "tiu", "fong"})
        EXPECT_FALSE(is_pinyin_syllable(s)) << s;
}

// Pinyin only where the text is plainly pinyin; the rest is English and numbers.
TEST(FrontEnd, PinyinOnlyWherePlainlyWritten) {
    const Case cases[] = {
        {"A4纸", "A:en:A. / 4:si4 / 纸:zi4"},
        {"No1 Go2", "No:en:No / 1:yi1 / Go:en:Go / 2:er4"},
        {"Hi5", "Hi:en:Hi / 5:wu3"},
        {"bia1 gv1", "bia:en:bia / 1:yi1 / gv:en:gv / 1:yi1"},
        {"a4 e2", "a:en:a / 4:si4 / e:en:e / 2:er4"},
        {"3ma1", "3:san1 / ma:en:ma / 1:yi1"},
        {"ma1 a1yi2", "ma1:ma1 / a1yi2:a1 yi2"},
        {"Ni3hao3 Ni3Hao3", "Ni3hao3:ni3 hao3 / Ni3Hao3:ni3 hao3"},
        {"a1a1x", "a:en:a / 1:yi1 / a:en:a / 1:yi1 / x:en:x"},
    };
    for (const Case &c : cases) EXPECT_EQ(tokens_of(c.text, 0), c.tokens) << c.text;
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
        const auto tokens = read_text(*test_lexicon(), c.text, NumberMode::by_context);
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
    const auto tokens = read_text(*test_lexicon(), text, NumberMode::by_context);
    std::string joined;
    for (const Token &t : tokens) joined.append(text, t.begin, t.end - t.begin);
    EXPECT_EQ(joined, text);
    EXPECT_EQ(tokens_of(text, 0), "你:ni3 / \xff: / \xc3: / (: / 好:hao3 / \xe4: / \xbd:");
}

TEST(FrontEnd, TableInvariantsForEachRdn) {
    for (int rdn = 0; rdn <= 2; ++rdn) {
        testing::check_table(kMixed, reading_table(*test_lexicon(), kMixed, static_cast<NumberMode>(rdn)));
    }
}

TEST(FrontEnd, TenMegabytesInPieces) {
    std::string text;
    while (text.size() < 10 * 1024 * 1024) text += kMixed;
    std::size_t tokens = 0, batches = 0, last_end = 0;
    bool ordered = true;
    read_text(*test_lexicon(), text, NumberMode::by_context, [&](const std::vector<Token> &batch) {
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
    read_text(*test_lexicon(), han, NumberMode::by_context,
              [&](const std::vector<Token> &batch) { han_tokens += batch.size(); });
    EXPECT_EQ(han_tokens, han.size() / 3);
}

// Long texts without blanks are cut at the strongest break past the piece's
// target size, never through a number or a word where the hard bound falls.
TEST(FrontEnd, PiecesEndAtClauseMarksAndKeepWordsWhole) {
    const auto han = [](std::size_t n) {
        std::string s;
        for (std::size_t k = 0; k < n; ++k) s += "银";
        return s;
    };
    // 21844 characters of 3 bytes end 4 bytes before the 64 KB bound.
    const struct {
        std::string text;
        std::size_t first_piece_end;  // where the first batch's last token ends
        std::size_t whole_from, whole_to;  // one token holds these bytes
    } cases[] = {
        {han(6000) + "，" + han(3000) + "。" + han(20000), 27006, 18000, 18003},
        {han(6000) + "，" + han(30000), 18003, 18000, 18003},
        {han(6000) + "\n" + han(30000), 18000, 0, 3},
        {han(21844) + "12345678" + han(100), 16386, 65532, 65540},
        {han(21844) + "abcdefgh" + han(100), 16386, 65532, 65540},
    };
    for (const auto &c : cases) {
        std::vector<std::vector<Token>> batches;
        read_text(*test_lexicon(), c.text, NumberMode::by_context,
                  [&](const std::vector<Token> &batch) { batches.push_back(batch); });
        ASSERT_GT(batches.size(), 1u);
        EXPECT_EQ(batches[0].back().end, c.first_piece_end);
        bool whole = false;
        for (const auto &batch : batches)
            for (const Token &t : batch) whole = whole || (t.begin == c.whole_from && t.end == c.whole_to);
        EXPECT_TRUE(whole) << c.whole_from;
    }
}

}  // namespace
}  // namespace speech::mandarin
