// SPDX-License-Identifier: Apache-2.0
// speech_service_reading through the real library and lexicon: the table,
// parameters, refused texts, threads and a long text.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "front_end_test_util.h"
#include "speech_service.h"

namespace {

// The table, or "rc=N".
std::string reading(const std::string &text, const char *params = nullptr) {
    char *out = nullptr;
    const int rc = speech_service_reading(params, text.data(), static_cast<unsigned>(text.size()), &out);
    if (rc != SPEECH_OK) {
        EXPECT_EQ(out, nullptr);
        return "rc=" + std::to_string(rc);
    }
    EXPECT_NE(out, nullptr);
    std::string table = out != nullptr ? out : "";
    speech_service_free(out);
    return table;
}

// The readings of the table's lines joined by blanks (rdn 0).
std::string syllables(const std::string &text) {
    const std::string table = reading(text, "rdn = 0");
    std::string out;
    for (std::size_t from = 0; from < table.size();) {
        const std::size_t tab = table.find('\t', from), nl = table.find('\n', from);
        if (nl > tab + 1) out += (out.empty() ? "" : " ") + table.substr(tab + 1, nl - tab - 1);
        from = nl + 1;
    }
    return out;
}

struct Said {
    const char *text, *syllables;
};

// A number before a Han run is a numeral to the rules, 第 and a number an
// ordinal.
TEST(ReadingApi, PolyphonesAfterANumber) {
    const Said cases[] = {
        {"我家有3只狗", "wo3 jia1 you3 san1 zhi1 gou3"},
        {"第5行", "di4 wu3 hang2"},
        {"共12行代码", "gong4 shi2 er4 hang2 dai4 ma3"},
        {"5更天", "wu3 geng1 tian1"},
        {"3载", "san1 zai3"},
        {"这只是3只", "zhe4 zhi3 shi4 san1 zhi1"},
    };
    for (const Said &c : cases) EXPECT_EQ(syllables(c.text), c.syllables) << c.text;
}

// Only punctuation, a line break and the text's end end a phrase: not a
// number, a Latin word or a blank; 一 and 不 change by the number's tone.
TEST(ReadingApi, PhraseEndsAreNotNumbersOrWords) {
    const Said cases[] = {
        {"你还3岁吗", "ni3 hai2 san1 sui4 ma5"},
        {"我得3点走", "wo3 dei3 san1 dian3 zou3"},
        {"我得check一下", "wo3 dei3 en:check yi2 xia4"},
        {"你还 3岁吗", "ni3 hai2 san1 sui4 ma5"},
        {"借了不还。3个", "jie4 le5 bu4 huan2 san1 ge4"},
        {"借了不还\n3个", "jie4 le5 bu4 huan2 san1 ge4"},
        {"不4个", "bu2 si4 ge4"},
        {"不3个", "bu4 san1 ge4"},
        {"我走不了 他也走不了", "wo3 zou3 bu4 liao3 ta1 ye3 zou3 bu4 liao3"},
    };
    for (const Said &c : cases) EXPECT_EQ(syllables(c.text), c.syllables) << c.text;
}

// The polyphone model decides where the rules only had a character's usual
// reading, and never over what the rules keep: common words of the lexicon
// and the neutral tones of words it gives (not of those whose reading it only
// derived), measure words after numbers, 一 and 不, and what the text itself
// says.
TEST(ReadingApi, PolyphoneModelAndRules) {
    const Said cases[] = {
        {"他咳血了", "ta1 ke2 xie3 le5"},                                // the model (the rules: ka3)
        {"他的头发长得很快", "ta1 de5 tou2 fa4 zhang3 de5 hen3 kuai4"},  // the model says fa1
        {"理发店", "li3 fa4 dian4"},
        {"这条河很长", "zhe4 tiao2 he2 hen3 chang2"},                    // the model says zhang3
        {"我觉得很好", "wo3 jue2 de5 hen3 hao3"},                        // the model says de2
        {"吡咯有毒吗", "bi3 luo4 you3 du2 ma5"},                        // a word read as its characters: lo5
        {"不是3个", "bu2 shi4 san1 ge4"},
        {"看一看", "kan4 yi5 kan4"},
    };
    for (const Said &c : cases) EXPECT_EQ(syllables(c.text), c.syllables) << c.text;
    EXPECT_EQ(reading("<speak>他<phoneme alphabet=\"x-pinyin\" ph=\"ka3\">咳</phoneme>血</speak>", "show_readers = 1"),
              "他\tta1\tchar\n咳\tka3\ttext\n血\txue4\tchar\n");
}

// With show_readers, each line says who decided its reading; without it, the
// table is as before (TableLines).
TEST(ReadingApi, ShowReaders) {
    EXPECT_EQ(reading("咳血，3个 OK wo3", "show_readers = 1"),
              "咳血\tke2 xie3\tmodel=1.00 word\n，\t\t-\n3\tsan1\tnumber\n个\tge4\tchar\nOK\ten:O.K.\t-\n"
              "wo3\two3\ttext\n");
    EXPECT_EQ(reading("银行", "show_readers = 0"), "银行\tyin2 hang2\n");
    EXPECT_EQ(reading("银行", "show_readers = 2"), "rc=" + std::to_string(SPEECH_ERR_OUT_OF_RANGE));
}

// Run with SPEECH_SERVICE_POLYPHONE_MODEL naming no file: the rules read
// alone, and a table with readers says so first.
TEST(ReadingApi, MissingModel) {
    EXPECT_EQ(reading("咳血"), "咳血\tka3 xie3\n");
    EXPECT_EQ(reading("咳血", "show_readers = 1"),
              "\tno polyphone model: polyphones read by the rules only\n咳血\tka3 xie3\tword word\n");
}

TEST(ReadingApi, TableLines) {
    EXPECT_EQ(reading("银行，2个 OK"), "银行\tyin2 hang2\n，\t\n2\tliang3\n个\tge4\nOK\ten:O.K.\n");
    EXPECT_EQ(reading("120元", "rdn = 2"), "120\tyi1 er4 ling2\n元\tyuan2\n");
    EXPECT_EQ(reading("2023年", "rdn=1"), "2023\tliang3 qian1 ling2 er4 shi2 san1\n年\tnian2\n");
    EXPECT_EQ(reading("銀行", "voice_name = xiaoxin, sample_rate = 8000"), "銀行\tyin2 hang2\n");
    EXPECT_EQ(reading(""), "");
    EXPECT_EQ(reading(" \n\t"), "");
    // An engine voice is given the text as it is.
    EXPECT_EQ(reading("银行 OK 42\n", "voice_name = en"), "银行\ten:银行\nOK\ten:OK\n42\ten:42\n");
}

TEST(ReadingApi, RefusedInputs) {
    const struct {
        std::string text;
        const char *params;
        int rc;
    } cases[] = {
        {"\xff", nullptr, SPEECH_ERR_INVALID_TEXT},
        {"银\xe9\x93", nullptr, SPEECH_ERR_INVALID_TEXT},
        {"\xed\xa0\x80", nullptr, SPEECH_ERR_INVALID_TEXT},  // a surrogate
        {std::string("a\0b", 3), nullptr, SPEECH_ERR_INVALID_TEXT},
        {"1", "rdn = 3", SPEECH_ERR_OUT_OF_RANGE},
        {"1", "rdn = -1", SPEECH_ERR_OUT_OF_RANGE},
        {"1", "rdn", SPEECH_ERR_MALFORMED_PARAMS},
        {"1", "voice_name = nobody", SPEECH_ERR_UNKNOWN_VOICE},
        {"1", "text_encoding = gb2312", SPEECH_ERR_BAD_ENCODING},
    };
    for (const auto &c : cases) EXPECT_EQ(reading(c.text, c.params), "rc=" + std::to_string(c.rc)) << c.text;

    char *out = reinterpret_cast<char *>(1);
    EXPECT_EQ(speech_service_reading(nullptr, nullptr, 3, &out), SPEECH_ERR_NULL_ARGUMENT);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(speech_service_reading(nullptr, "a", 1, nullptr), SPEECH_ERR_NULL_ARGUMENT);
    ASSERT_EQ(speech_service_reading(nullptr, nullptr, 0, &out), SPEECH_OK);
    EXPECT_STREQ(out, "");
    speech_service_free(out);
}

TEST(ReadingApi, InvariantsOnTheRealLexicon) {
    for (const char *params : {"rdn = 0", "rdn = 1", "rdn = 2"})
        speech::mandarin::testing::check_table(speech::mandarin::testing::kMixed,
                                               reading(speech::mandarin::testing::kMixed, params));
}

TEST(ReadingApi, TenMegabytes) {
    std::string text;
    while (text.size() < 10 * 1024 * 1024) text += speech::mandarin::testing::kMixed;
    const std::string table = reading(text);
    ASSERT_EQ(table.rfind("rc=", 0), std::string::npos) << table;
    // Every token's line: the last one is the last token of the text.
    const std::string last = "\nkg\tgong1 jin1\n";
    ASSERT_GT(table.size(), last.size());
    EXPECT_EQ(table.substr(table.size() - last.size()), last);
}

TEST(ReadingApi, ConcurrentCallsAgree) {
    const std::string expected = reading(speech::mandarin::testing::kMixed);
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < 50; ++k)
                if (reading(speech::mandarin::testing::kMixed) != expected) ++wrong[t];
        });
    }
    for (std::thread &t : threads) t.join();
    for (int w : wrong) EXPECT_EQ(w, 0);
}

}  // namespace
