// SPDX-License-Identifier: Apache-2.0
// What the engine is given: segments by voice, with the clause marks kept.
#include <gtest/gtest.h>

#include "engine_text.h"
#include "front_end_test_util.h"

namespace speech::mandarin {
namespace {

std::string segments_of(const char *text, int rdn = 0) {
    std::string out;
    for (const VoiceText &s : engine_text(*test_lexicon(), text, static_cast<NumberMode>(rdn))) {
        if (!out.empty()) out += " | ";
        out += s.voice + "=" + s.text;
    }
    return out;
}

TEST(EngineText, SegmentsByVoice) {
    const struct {
        const char *text, *segments;
    } cases[] = {
        {"银行，2个。", "cmn-latn-pinyin=yin2 hang2， liang3 ge4。"},
        {"“银行”！？", "cmn-latn-pinyin=yin2 hang2？"},
        {"，。银行", "cmn-latn-pinyin=yin2 hang2"},
        {"银行,,,. 好", "cmn-latn-pinyin=yin2 hang2。 hao3"},
        {"银行， 。好", "cmn-latn-pinyin=yin2 hang2， hao3"},
        {"我 USA 好", "cmn-latn-pinyin=wo3 | en=U.S.A. | cmn-latn-pinyin=hao3"},
        {"Hello, world. 你好", "en=Hello, world. | cmn-latn-pinyin=ni3 hao3"},
        {"a@b", "en=a at b"},
        {"😀 ni3 hao3", "cmn-latn-pinyin=ni3 hao3"},
        {"😀（）", ""},
        {"3.5%", "cmn-latn-pinyin=bai3 fen1 zhi1 san1 dian3 wu3"},
        {"120元", "cmn-latn-pinyin=yi4 bai3 er4 shi2 yuan2"},
    };
    for (const auto &c : cases) EXPECT_EQ(segments_of(c.text), c.segments) << c.text;
    EXPECT_EQ(segments_of("120元", 2), "cmn-latn-pinyin=yi1 er4 ling2 yuan2");
}

}  // namespace
}  // namespace speech::mandarin
