// SPDX-License-Identifier: Apache-2.0
// Tokens: normalisation, other scripts, punctuation, bad bytes, long texts,
// and the invariants of the reading table.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "front_end_test_util.h"
#include "reading_table.h"

namespace speech::mandarin {
namespace {

using testing::tokens_of;

struct Case {
    const char *text;
    const char *tokens;
};

TEST(FrontEnd, ScriptsAndSigns) {
    const Case cases[] = {
        {"我們去銀行", "我:wo3 / 們:men5 / 去:qu4 / 銀:yin2 / 行:hang2"},
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
        {"COVID-19", "COVID:en:C.O.V.I.D. / -: / 19:shi2 jiu3"},
        {"Привет", "П: / р: / и: / в: / е: / т:"},
        {"\t 你\r\n好\x01", "你:ni3 / 好:hao3"},
        {"", ""},
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

// The table's invariants on a text of many kinds of characters.
void check_invariants(const std::string &text, int rdn) {
    const std::string table = reading_table(*default_lexicon(), text, static_cast<NumberMode>(rdn));
    std::string joined, without_space;
    for (char c : text)
        if (c != ' ' && c != '\n' && c != '\t' && c != '\r') without_space += c;
    static const std::regex line("([^\t\n]+)\t([^\t\n]*)");
    static const std::regex syllables("[a-z]+[1-5]( [a-z]+[1-5])*");
    std::size_t from = 0;
    while (from < table.size()) {
        const std::size_t nl = table.find('\n', from);
        ASSERT_NE(nl, std::string::npos);
        const std::string l = table.substr(from, nl - from);
        from = nl + 1;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, line)) << l;
        const std::string token = m[1], reading = m[2];
        joined += token;
        if (reading.empty() || reading.rfind("en:", 0) == 0) continue;
        EXPECT_TRUE(std::regex_match(reading, syllables)) << l;
        const std::u32string chars = [&] {
            std::u32string u;
            for (const NormChar &c : normalize(token, 0, nullptr)) u += c.c;
            return u;
        }();
        bool han = false, other = false;
        for (char32_t c : chars) (is_han(c) ? han : other) = true;
        EXPECT_FALSE(han && other) << l;
        if (han) {
            EXPECT_EQ(std::count(reading.begin(), reading.end(), ' ') + 1, static_cast<long>(chars.size())) << l;
        }
    }
    EXPECT_EQ(joined, without_space);
}

const char kMixed[] =
    "我們去銀行，取了¥1,200.50元（约$170）。2023-05-06 12:30，气温-3~5℃，湿度65%。"
    "电话：13800138000；比分3:2，第2名，2/3的人。Hello, USA! ni3 hao3 👍🏽 ＡＢＣ１２３ 3.5%…… 100km/h\t5 kg";

TEST(FrontEnd, TableInvariantsForEachRdn) {
    for (int rdn = 0; rdn <= 2; ++rdn) check_invariants(kMixed, rdn);
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
