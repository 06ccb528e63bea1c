// SPDX-License-Identifier: Apache-2.0
// Readings of Han text in context: polyphonic characters by their word and
// neighbours, the tone changes of 一 and 不, neutral tones, traditional input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "han_reader.h"
#include "lexicon.h"
#include "mandarin_data.h"
#include "test_lexicon.h"

namespace speech::mandarin {
namespace {

// The syllables of `text` (simplified first), joined by blanks.
std::string reading(std::u32string text) {
    const Lexicon &lex = test_lexicon();
    for (char32_t &c : text) c = to_simplified(lex, c);
    std::string out;
    for (const HanWord &w : read_han(lex, text))
        for (const std::string &s : w.syllables) out += (out.empty() ? "" : " ") + s;
    return out;
}

struct Case {
    const char32_t *text;
    const char *expected;
};

void check(const Case *cases, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(reading(cases[i].text), cases[i].expected) << "case " << i;
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
        {U"快乐", "kuai4 le4"},
        {U"觉得", "jue2 de5"},
        {U"获得", "huo4 de2"},
        {U"综合", "zong1 he2"},     // the mainland tone, not zong4
        {U"干部", "gan4 bu4"},      // 幹部, though 干 also stands for 乾
        {U"饼干", "bing3 gan1"},
        {U"目的", "mu4 di4"},
        {U"的确", "di2 que4"},
        {U"了解", "liao3 jie3"},
        {U"为了", "wei4 le5"},
        {U"成为", "cheng2 wei2"},
        {U"儿子", "er2 zi5"},          // not the zi3 of 子 alone
        {U"有限责任公司", "you3 xian4 ze2 ren4 gong1 si1"},  // our word inside a longer one
        {U"微处理器", "wei1 chu3 li3 qi4"},
    };
    check(cases, std::size(cases));
}

TEST(HanReader, FunctionWordsInContext) {
    static const Case cases[] = {
        {U"我还没吃饭", "wo3 hai2 mei2 chi1 fan4"},
        {U"他把书还给我", "ta1 ba3 shu1 huan2 gei3 wo3"},
        {U"他跑得很快", "ta1 pao3 de5 hen3 kuai4"},
        {U"我得走了", "wo3 dei3 zou3 le5"},
        {U"他得了冠军", "ta1 de2 le5 guan4 jun1"},
        {U"慢慢地走", "man4 man4 de5 zou3"},
        {U"我吃了饭", "wo3 chi1 le5 fan4"},
        {U"我走不了", "wo3 zou3 bu4 liao3"},
        {U"他看着我", "ta1 kan4 zhe5 wo3"},
        {U"他长得很高", "ta1 zhang3 de5 hen3 gao1"},
        {U"这条路很长", "zhe4 tiao2 lu4 hen3 chang2"},
        {U"一只猫", "yi4 zhi1 mao1"},
        {U"这只是开始", "zhe4 zhi3 shi4 kai1 shi3"},
        {U"他教我唱歌", "ta1 jiao1 wo3 chang4 ge1"},
        {U"第三行", "di4 san1 hang2"},
        {U"他率军出征", "ta1 shuai4 jun1 chu1 zheng1"},
        {U"你去过吗", "ni3 qu4 guo5 ma5"},
        {U"他重录旁白", "ta1 chong2 lu4 pang2 bai2"},
        {U"士兵中弹", "shi4 bing1 zhong4 dan4"},
        {U"他去种地", "ta1 qu4 zhong4 di4"},
        {U"数不清", "shu3 bu4 qing1"},
        {U"衣服很干", "yi1 fu2 hen3 gan1"},
        {U"三载", "san1 zai3"},
        {U"五更", "wu3 geng1"},
        {U"白发", "bai2 fa4"},
        {U"借了不还", "jie4 le5 bu4 huan2"},
        {U"他睡着了", "ta1 shui4 zhao2 le5"},
        {U"很着急", "hen3 zhao2 ji2"},
        {U"县长", "xian4 zhang3"},
        {U"他突然地走了", "ta1 tu1 ran2 de5 zou3 le5"},
    };
    check(cases, std::size(cases));
}

TEST(HanReader, ToneChangesOfYiAndBu) {
    static const Case cases[] = {
        {U"一个", "yi2 ge4"},        {U"一天", "yi4 tian1"},
        {U"一年", "yi4 nian2"},      {U"一起", "yi4 qi3"},
        {U"第一", "di4 yi1"},        {U"十一", "shi2 yi1"},
        {U"统一", "tong3 yi1"},      {U"一九八四", "yi1 jiu3 ba1 si4"},
        {U"看一看", "kan4 yi5 kan4"}, {U"一", "yi1"},
        {U"一月", "yi1 yue4"},       {U"一百", "yi4 bai3"},
        {U"不对", "bu2 dui4"},       {U"不好", "bu4 hao3"},
        {U"不来", "bu4 lai2"},       {U"是不是", "shi4 bu5 shi4"},
        {U"我不", "wo3 bu4"},        {U"一不小心", "yi2 bu4 xiao3 xin1"},
        {U"一个一个", "yi2 ge4 yi2 ge4"}, {U"这一天", "zhe4 yi4 tian1"},
        {U"十一个", "shi2 yi1 ge4"}, {U"好不好", "hao3 bu5 hao3"},
    };
    check(cases, std::size(cases));
}

TEST(HanReader, NeutralTones) {
    static const Case cases[] = {
        {U"我们", "wo3 men5"},      {U"桌子", "zhuo1 zi5"},     {U"我的书", "wo3 de5 shu1"},
        {U"好吗", "hao3 ma5"},      {U"你呢", "ni3 ne5"},       {U"走吧", "zou3 ba5"},
        {U"你好", "ni3 hao3"},      // third-tone sandhi is the engine's
        {U"什么", "shen2 me5"},
    };
    check(cases, std::size(cases));
}

TEST(HanReader, TraditionalInputReadsAsSimplified) {
    static const Case cases[] = {
        {U"我們去銀行", "wo3 men5 qu4 yin2 hang2"},
        {U"長大", "zhang3 da4"},
        {U"音樂", "yin1 yue4"},
        {U"頭髮", "tou2 fa4"},
        {U"發展", "fa1 zhan3"},
    };
    check(cases, std::size(cases));
}

TEST(HanReader, UmlautIsWrittenV) {
    static const Case cases[] = {
        {U"女", "nv3"}, {U"绿色", "lv4 se4"}, {U"旅行", "lv3 xing2"}, {U"战略", "zhan4 lve4"},
    };
    check(cases, std::size(cases));
}

TEST(HanReader, SimplifiesTraditionalCharacters) {
    const Lexicon &lex = test_lexicon();
    static const struct {
        char32_t from, to;
    } cases[] = {
        {U'們', U'们'}, {U'銀', U'银'}, {U'發', U'发'}, {U'髮', U'发'},
        {U'银', U'银'}, {U'A', U'A'},   {U'乾', U'乾'},  // 乾 is also a simplified character
        {U'爲', U'为'}, {U'為', U'为'}, {U'後', U'后'},
        // Characters of the mainland standard stay, though Unihan links
        // some to component forms (食 饣, 金 钅) or to other words (氯 绿).
        {U'食', U'食'}, {U'金', U'金'}, {U'言', U'言'}, {U'歌', U'歌'}, {U'糖', U'糖'},
        {U'氯', U'氯'}, {U'辨', U'辨'}, {U'豫', U'豫'}, {U'吒', U'吒'},
    };
    for (const auto &c : cases) EXPECT_EQ(to_simplified(lex, c.from), c.to) << static_cast<unsigned>(c.from);
}

TEST(HanReader, IsHan) {
    static const struct {
        char32_t c;
        bool han;
    } cases[] = {
        {U'中', true},     {U'〇', true},     {0x3400, true},  {0x20000, true}, {0xF900, true},
        {U'A', false},     {U'。', false},    {U'ア', false},  {0x3006, false}, {0x1F600, false},
    };
    for (const auto &c : cases) EXPECT_EQ(is_han(c.c), c.han) << std::hex << static_cast<unsigned>(c.c);
}

// Every character gets one syllable of the form [a-z]+[1-5], the words
// cover the run in order, whatever the run holds.
TEST(HanReader, WordsCoverTheRunWithWellFormedSyllables) {
    const Lexicon &lex = test_lexicon();
    const std::regex syllable("[a-z]+[1-5]");
    std::u32string odd = U"一一一一一不不不了了的的地得着着还行长重";
    std::u32string runs[] = {
        U"中华人民共和国成立于一九四九年十月一日",
        odd,
        std::u32string(5000, U'行'),
        std::u32string(U"\U00020000\U0002A6D6𠀀㐀中"),  // characters the lexicon may lack
        U"龘靐齉爩",
    };
    for (const std::u32string &run : runs) {
        std::size_t covered = 0;
        for (const HanWord &w : read_han(lex, run)) {
            ASSERT_GE(w.length, 1u);
            ASSERT_EQ(w.syllables.size(), w.length);
            for (const std::string &s : w.syllables)
                if (!s.empty()) {
                    EXPECT_TRUE(std::regex_match(s, syllable)) << s;
                }
            covered += w.length;
        }
        EXPECT_EQ(covered, run.size());
    }
    EXPECT_TRUE(read_han(lex, U"").empty());
}

TEST(HanReader, LexiconPathFromTheEnvironment) {
    ::setenv("SPEECH_SERVICE_LEXICON", "/some/where/else.lex", 1);
    EXPECT_EQ(speech::mandarin_lexicon_path(), "/some/where/else.lex");
    ::unsetenv("SPEECH_SERVICE_LEXICON");
    std::string path = speech::mandarin_lexicon_path();
    EXPECT_EQ(path.substr(path.rfind('/')), "/mandarin.lex");
}

// The lexicon is opened once for all threads, and reading shares nothing
// that changes: threads reading at once get what one thread gets.
TEST(HanReader, ThreadsShareTheDefaultLexicon) {
    ::setenv("SPEECH_SERVICE_LEXICON", MANDARIN_TEST_LEXICON, 1);
    const std::u32string text = U"银行行长说一个人不对就得还钱着急也没用慢慢地长大了";
    const std::string expected = reading(text);
    std::vector<const Lexicon *> seen(4, nullptr);
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&, t] {
            seen[t] = speech::mandarin_lexicon();
            if (seen[t] == nullptr) return;
            for (int k = 0; k < 200; ++k) {
                std::string out;
                for (const HanWord &w : read_han(*seen[t], text))
                    for (const std::string &s : w.syllables) out += (out.empty() ? "" : " ") + s;
                wrong[t] += out != expected;
            }
        });
    }
    for (std::thread &th : threads) th.join();
    for (std::size_t t = 0; t < seen.size(); ++t) {
        ASSERT_NE(seen[t], nullptr);
        EXPECT_EQ(seen[t], seen[0]);
        EXPECT_EQ(wrong[t], 0);
    }
}

}  // namespace
}  // namespace speech::mandarin
