// SPDX-License-Identifier: Apache-2.0
// SSML through speech_service_reading: each element's effect on the reading
// table, and the documents that are refused (malformed, hostile) with the
// line and column of the fault.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "speech_service.h"

namespace {

struct Reading {
    int rc;
    std::string table;
    std::string message;
};

Reading read(const std::string &text, const char *params = "rdn = 0") {
    char *out = nullptr;
    Reading r;
    r.rc = speech_service_reading(params, text.data(), static_cast<unsigned>(text.size()), &out);
    if (out != nullptr) r.table = out;
    speech_service_free(out);
    r.message = speech_service_last_markup_message();
    return r;
}

std::string repeat(const std::string &s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::string speak(const std::string &body) { return "<speak>" + body + "</speak>"; }

TEST(Ssml, EachElementShowsInTheReadingTable) {
    struct Case {
        std::string body, lines, absent;
    };
    const std::vector<Case> cases = {
        {"你好<break time=\"300ms\"/>你好", "你好\tni3 hao3\n\tsilence:300ms\n你好\tni3 hao3\n", ""},
        {"好<break time=\"1.5s\"/>", "\tsilence:1500ms\n", ""},
        {"好<break strength=\"strong\"/>", "\tsilence:750ms\n", ""},
        {"好<break/>", "\tsilence:500ms\n", ""},
        {"好<break strength=\"none\"/>", "好\thao3\n", "silence"},
        {"<p><s>好</s></p>", "好\thao3\n\tsilence:250ms\n", ""},
        {"<s>银</s><s>行</s>", "银\tyin2\n行\txing2\n", "hang2"},
        {"<say-as interpret-as=\"characters\">AB12</say-as>", "A\ten:A.\nB\ten:B.\n1\tyi1\n2\ter4\n", ""},
        {"<say-as interpret-as=\"cardinal\">1234</say-as>", "1234\tyi4 qian1 er4 bai3 san1 shi2 si4\n", ""},
        {"<say-as interpret-as=\"ordinal\">3</say-as>", "第\tdi4\n3\tsan1\n", ""},
        {"<say-as interpret-as=\"digits\">1234</say-as>", "1234\tyi1 er4 san1 si4\n", ""},
        {"<say-as interpret-as=\"telephone\">138-0013</say-as>", "138-0013\tyao1 san1 ba1 ling2 ling2 yao1 san1\n", ""},
        {"<say-as interpret-as=\"date\" format=\"dmy\">06/05/2023</say-as>",
         "2023\ter4 ling2 er4 san1\n年\tnian2\n5\twu3\n月\tyue4\n6\tliu4\n日\tri4\n", ""},
        {"<say-as interpret-as=\"time\">8:30</say-as>", "8\tba1\n点\tdian3\n30\tsan1 shi2\n分\tfen1\n", ""},
        {"<sub alias=\"世界卫生组织\">WHO</sub>", "世界卫生组织\tshi4 jie4 wei4 sheng1 zu3 zhi1\n", "WHO"},
        {"<phoneme alphabet=\"x-pinyin\" ph=\"Yin2Xing2\">银行</phoneme>", "银行\tyin2 xing2\n", ""},
        {"<phoneme alphabet=\"x-pinyin\" ph=\" Zhuang4\tLÜ4  a1\">壮绿啊</phoneme>", "壮绿啊\tzhuang4 lv4 a1\n", ""},
        {"<phoneme alphabet=\"ipa\" ph=\"x\">银行</phoneme>", "银行\tyin2 hang2\n", ""},
        {"<voice name=\"en\">Hello 12</voice>", "Hello\ten:Hello\n12\ten:12\n", ""},
        {"<s xml:lang=\"en\">Good</s>", "Good\ten:Good\n", ""},
        {"银<mark name=\"m\"/>行", "银行\tyin2 hang2\n", ""},
        {"<audio src=\"http://example.invalid/a.wav\"><desc>描述</desc>备用</audio>", "备用\tbei4 yong4\n", "描述"},
        {"<unknown-element>银行</unknown-element>", "银行\tyin2 hang2\n", ""},
        {"<emphasis level=\"strong\">银行</emphasis><prosody rate=\"slow\">银行</prosody>", "银行\tyin2 hang2\n", ""},
    };
    for (const Case &c : cases) {
        const Reading r = read(speak(c.body));
        ASSERT_EQ(r.rc, SPEECH_OK) << c.body << ": " << r.message;
        EXPECT_NE(r.table.find(c.lines), std::string::npos) << c.body << "\n" << r.table;
        if (!c.absent.empty()) {
            EXPECT_EQ(r.table.find(c.absent), std::string::npos) << c.body << "\n" << r.table;
        }
    }
    EXPECT_NE(read(speak("<phoneme alphabet=\"ipa\" ph=\"x\">行</phoneme>")).message.find("ipa"), std::string::npos)
        << "the reason a phoneme was not followed is recorded";
}

TEST(Ssml, DetectedByItsStartOrTakenAsTextType) {
    const std::string plain = read("银行").table;
    for (const std::string &doc : {std::string("<speak>银行</speak>"), std::string("\xEF\xBB\xBF <?xml version=\"1.0\"?>\n<speak>银行</speak>"),
                                   std::string("<speak version=\"1.1\" xml:lang=\"zh-CN\">银行</speak>"),
                                   // comments and processing instructions in the prolog
                                   std::string("<!-- made by hand --><speak>银行</speak>"),
                                   std::string("<?xml version=\"1.0\"?>\n<!-- a -->\n<?style x?>\n<!--b--><speak>银行</speak>")})
        EXPECT_EQ(read(doc).table, plain) << doc;
    EXPECT_NE(read("<speak>银行</speak>", "text_type = text").table, plain) << "text_type = text reads the markup";
    EXPECT_EQ(read("<speaker>银行</speaker>").rc, SPEECH_OK) << "not SSML";
    EXPECT_EQ(read("<!-- a --><speaker>银行</speaker>").rc, SPEECH_OK) << "not SSML";
    EXPECT_EQ(read("银行", "text_type = ssml").rc, SPEECH_ERR_BAD_SSML);
    EXPECT_EQ(read("银行", "text_type = xml").rc, SPEECH_ERR_OUT_OF_RANGE);
}

TEST(Ssml, MalformedDocumentsAreRefusedWithLineAndColumn) {
    struct Case {
        std::string doc, message;
    };
    const std::vector<Case> cases = {
        {"<speak>\n  <s>好</p>\n</speak>", "line 2, column 9: mismatched tag"},
        {"<speak>好", "line 1, column 9: no element found"},
        {"<speak>&nbsp;</speak>", "undefined entity"},
        {"<speak>\n<break time=\"fast\"/></speak>", "line 2, column 1: bad time \"fast\" on break"},
        {"<speak><break strength=\"loud\"/></speak>", "bad strength"},
        {"<speak><break time=\"61s\"/></speak>", "bad time"},
        {"<speak><prosody rate=\"-120%\">好</prosody></speak>", "bad rate"},
        {"<speak><prosody pitch=\"squeaky\">好</prosody></speak>", "bad pitch"},
        {"<speak><prosody volume=\"+6\">好</prosody></speak>", "bad volume"},
        {"<speak><emphasis level=\"huge\">好</emphasis></speak>", "bad level"},
        {"<speak><phoneme alphabet=\"x-pinyin\" ph=\"hao\">好</phoneme></speak>", "bad ph"},
        {"<speak><phoneme alphabet=\"x-pinyin\" ph=\"bia1\">好</phoneme></speak>", "bad ph"},
        {"<speak><phoneme alphabet=\"x-pinyin\" ph=\"zhuangg1\">好</phoneme></speak>", "bad ph"},
        {"<speak><phoneme alphabet=\"x-pinyin\" ph=\"hao3 4\">好</phoneme></speak>", "bad ph"},
        {"<speak><phoneme alphabet=\"x-pinyin\" ph=\" \">好</phoneme></speak>", "bad ph"},
        {"<speak><say-as interpret-as=\"date\" format=\"yyyy\">1</say-as></speak>", "bad format"},
        {"<speak><sub>WHO</sub></speak>", "sub without alias"},
        {"<speak><voice name=\"no-such-voice\">好</voice></speak>", "bad name"},
        {"<speak><lexicon uri=\"http://example.invalid/x.pls\"/>好</speak>", "not one the host registered"},
        {"<speak><lexicon uri=\"/etc/passwd\"/>好</speak>", "not one the host registered"},
    };
    for (const Case &c : cases) {
        const Reading r = read(c.doc);
        EXPECT_EQ(r.rc, SPEECH_ERR_BAD_SSML) << c.doc;
        EXPECT_EQ(r.table, "");
        EXPECT_NE(r.message.find(c.message), std::string::npos) << c.doc << ": " << r.message;
    }
    EXPECT_EQ(read("好").message, "") << "the next text read clears the message";
}

TEST(Ssml, HostileDocumentsReadNothingAndFailAtOnce) {
    char dir[] = "/tmp/ssml-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string secret = std::string(dir) + "/secret.txt";
    FILE *f = std::fopen(secret.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("机密内容", f);
    std::fclose(f);
    // Ten levels of ten references each: 5 * 10^11 letters if expanded.
    std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE speak [\n<!ENTITY a \"" + std::string(500, 'a') + "\">\n";
    for (char c = 'b'; c <= 'j'; ++c) bomb += std::string("<!ENTITY ") + c + " \"" + repeat(std::string("&") + char(c - 1) + ";", 10) + "\">\n";
    bomb += "]>\n<speak>&j;</speak>";
    ASSERT_LE(bomb.size(), 1024u);
    const std::vector<std::string> docs = {
        "<!DOCTYPE speak [<!ENTITY x SYSTEM \"file://" + secret + "\">]><speak>&x;</speak>",
        "<!DOCTYPE speak [<!ENTITY x SYSTEM \"" + secret + "\">]><speak>&x;</speak>",
        "<!DOCTYPE speak SYSTEM \"" + secret + "\"><speak>好</speak>",
        "<!DOCTYPE speak [<!ENTITY % p SYSTEM \"" + secret + "\"> %p;]><speak>好</speak>",
        bomb,
        "<speak>" + repeat("<s>", 100) + "好" + repeat("</s>", 100) + "</speak>",
    };
    for (const std::string &doc : docs) {
        const auto t0 = std::chrono::steady_clock::now();
        const Reading r = read(doc);
        EXPECT_EQ(r.rc, SPEECH_ERR_BAD_SSML) << doc;
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500)) << doc;
        EXPECT_EQ(r.table.find("机密"), std::string::npos);
        EXPECT_EQ(r.message.find("机密"), std::string::npos) << r.message;
    }
    EXPECT_NE(read(docs[0]).message.find("document type declaration is not allowed"), std::string::npos);
    EXPECT_NE(read(docs.back()).message.find("nested more than 64 deep"), std::string::npos);
    std::remove(secret.c_str());
    rmdir(dir);
}

}  // namespace
