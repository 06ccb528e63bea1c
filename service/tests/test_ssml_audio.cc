// SPDX-License-Identifier: Apache-2.0
// SSML sessions on the real engine: a document with no markup sounds as
// its text, a break is exact silence, a rate scales the duration, and a
// malformed document fails QTTSTextPut with nothing spoken.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "service_client.h"
#include "speech_service.h"

namespace {

using service_test::synthesize;

class SsmlAudio : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(MSPLogin(nullptr, nullptr, service_test::kLogin), SPEECH_OK); }
    void TearDown() override { MSPLogout(); }
};

// Seconds of 16-bit audio at `rate`.
double seconds(const std::string &audio, int rate) { return static_cast<double>(audio.size()) / 2 / rate; }

TEST_F(SsmlAudio, ADocumentWithoutMarkupIsByteForByteItsText) {
    for (const std::string &text : {std::string("我们去银行存了3.5万元，OK？"), std::string("Hello world, 12 apples.")}) {
        for (const std::string &params : {std::string("voice_name = xiaoxin"), std::string("voice_name = en, rdn = 2")}) {
            const auto plain = synthesize(params, text);
            const auto doc = synthesize(params, "<?xml version=\"1.0\"?>\n<speak version=\"1.1\">" + text + "</speak>");
            ASSERT_EQ(plain.fetch_code, SPEECH_OK);
            EXPECT_EQ(doc.put_code, SPEECH_OK);
            EXPECT_FALSE(plain.audio.empty());
            EXPECT_TRUE(doc.audio == plain.audio) << params << ": " << text;
        }
    }
}

TEST_F(SsmlAudio, BreaksAreSilenceOfTheirLength) {
    for (const int rate : {16000, 8000}) {
        const std::string params = "sample_rate = " + std::to_string(rate);
        auto with_break = [&](const std::string &b) {
            return synthesize(params, "<speak>你好<break " + b + "/>银行</speak>").audio;
        };
        const std::string shortest = with_break("time=\"200ms\"");
        for (const auto &[attr, ms] : std::vector<std::pair<std::string, int>>{
                 {"time=\"1200ms\"", 1200}, {"time=\"2.5s\"", 2500}, {"strength=\"x-strong\"", 1000},
                 {"time=\"40s\"/><break time=\"40s\"", 80000}}) {  // longer than one silence of the helper
            const std::string audio = with_break(attr);
            EXPECT_NEAR(seconds(audio, rate) - seconds(shortest, rate), (ms - 200) / 1000.0, 0.010) << attr << " at " << rate;
            // The added length is silence: the longest run of zero samples grew by it.
            auto zero_run = [](const std::string &a) {
                std::size_t best = 0, run = 0;
                for (std::size_t i = 0; i + 1 < a.size(); i += 2) {
                    run = (a[i] == 0 && a[i + 1] == 0) ? run + 1 : 0;
                    best = std::max(best, run);
                }
                return best;
            };
            EXPECT_GE(zero_run(audio), static_cast<std::size_t>(ms) * rate / 1000 - rate / 100) << attr;
        }
    }
}

TEST_F(SsmlAudio, ARateScalesTheDurationOfWhatItCovers) {
    const std::string text = "我们去银行存钱，然后回家吃饭。";
    const double plain = seconds(synthesize("", text).audio, 16000);
    struct Case {
        std::string open;
        double low, high;  // the duration's ratio to the plain text's
    };
    const std::vector<Case> cases = {
        {"<prosody rate=\"x-slow\">", 1.6, 2.4},
        {"<prosody rate=\"50%\">", 1.6, 2.4},
        {"<prosody rate=\"+100%\">", 0.4, 0.7},
        {"<prosody rate=\"fast\"><prosody rate=\"fast\">", 0.3, 0.6},  // nested: 2.25 times as fast
        {"<prosody pitch=\"x-high\" volume=\"+6dB\">", 0.9, 1.1},
        // Past the engine's range: its fastest, never wrapped round to its slowest.
        {"<prosody rate=\"17142857\">", 0.2, 0.6},
        {"<prosody rate=\"999999999999\"><prosody rate=\"99999999999%\">", 0.2, 0.6},
    };
    for (const Case &c : cases) {
        std::string close;
        for (std::size_t at = c.open.find('<'); at != std::string::npos; at = c.open.find('<', at + 1)) close += "</prosody>";
        const auto s = synthesize("", "<speak>" + c.open + text + close + "</speak>");
        ASSERT_EQ(s.fetch_code, SPEECH_OK) << c.open;
        const double ratio = seconds(s.audio, 16000) / plain;
        EXPECT_GT(ratio, c.low) << c.open;
        EXPECT_LT(ratio, c.high) << c.open;
    }
}

TEST_F(SsmlAudio, AHugeVolumeIsTheLoudestNotSilence) {
    for (const std::string volume : {"3000000000%", "+60dB", "x-loud"}) {
        const auto s = synthesize("", "<speak><prosody volume=\"" + volume + "\">你好</prosody></speak>");
        ASSERT_EQ(s.fetch_code, SPEECH_OK) << volume;
        int loudest = 0;
        for (std::size_t i = 0; i + 1 < s.audio.size(); i += 2) {
            const int v = static_cast<std::int16_t>(static_cast<unsigned char>(s.audio[i]) |
                                                    (static_cast<unsigned char>(s.audio[i + 1]) << 8));
            loudest = std::max(loudest, std::abs(v));
        }
        EXPECT_GT(loudest, 4000) << volume;
    }
}

// The audio one text may ask for: refused at QTTSTextPut when its pauses
// and least speech exceed max_audio_seconds, and cut off with the same code
// when the audio made reaches it.
TEST_F(SsmlAudio, MaxAudioSecondsRefusesEarlyAndStopsTheRest) {
    const std::string two_minutes = "<speak>好<break time=\"60s\"/><break time=\"60s\"/>好</speak>";
    std::string sixty_syllables;
    for (int i = 0; i < 60; ++i) sixty_syllables += "好";
    struct Case {
        std::string params, text;
        int begin, put, fetch;
    } const cases[] = {
        {"max_audio_seconds = 119", two_minutes, SPEECH_OK, SPEECH_ERR_AUDIO_TOO_LONG, SPEECH_ERR_NO_TEXT},
        {"max_audio_seconds = 121", two_minutes, SPEECH_OK, SPEECH_OK, SPEECH_OK},
        {"max_audio_seconds = 1", sixty_syllables, SPEECH_OK, SPEECH_ERR_AUDIO_TOO_LONG, SPEECH_ERR_NO_TEXT},
        // Under the estimate, over in fact: the guard on the audio made.
        {"max_audio_seconds = 1", "我们去银行存了钱，然后回家吃饭。", SPEECH_OK, SPEECH_OK, SPEECH_ERR_AUDIO_TOO_LONG},
        {"max_audio_seconds = 0", "好", SPEECH_ERR_OUT_OF_RANGE, -1, -1},
        {"max_audio_seconds = 86401", "好", SPEECH_ERR_OUT_OF_RANGE, -1, -1},
        {"max_audio_seconds = 86400", "好", SPEECH_OK, SPEECH_OK, SPEECH_OK},
    };
    for (const Case &c : cases) {
        const auto s = synthesize(c.params, c.text);
        EXPECT_EQ(s.begin_code, c.begin) << c.params << " " << c.text;
        if (c.begin != SPEECH_OK) continue;
        EXPECT_EQ(s.put_code, c.put) << c.params << " " << c.text;
        EXPECT_EQ(s.fetch_code, c.fetch) << c.params << " " << c.text;
        if (c.put == SPEECH_ERR_AUDIO_TOO_LONG) {
            EXPECT_TRUE(s.audio.empty());
            EXPECT_NE(std::string(speech_service_last_markup_message()).find("more than max_audio_seconds"),
                      std::string::npos);
        }
        // Never much more than the limit: one read of the helper's output past it.
        if (c.fetch == SPEECH_ERR_AUDIO_TOO_LONG) {
            EXPECT_LE(s.audio.size(), 32000u + (64u << 10));
        }
    }
}

TEST_F(SsmlAudio, MalformedDocumentsFailTheTextPutAndNothingIsSpoken) {
    const auto s = synthesize("", "<speak>\n你好<break time=\"soon\"/></speak>");
    EXPECT_EQ(s.put_code, SPEECH_ERR_BAD_SSML);
    EXPECT_EQ(std::string(speech_service_last_markup_message()),
              "SSML line 2, column 3: bad time \"soon\" on break");
    EXPECT_EQ(s.fetch_code, SPEECH_ERR_NO_TEXT);
    EXPECT_TRUE(s.audio.empty());
    EXPECT_EQ(synthesize("", "<speak>好</speak>").put_code, SPEECH_OK);
    // A value the message repeats is cut and its line breaks escaped.
    const auto huge = synthesize("", "<speak><break time=\"" + std::string(1 << 20, 'x') + "\n\"/></speak>");
    EXPECT_EQ(huge.put_code, SPEECH_ERR_BAD_SSML);
    const std::string message = speech_service_last_markup_message();
    EXPECT_LT(message.size(), 400u);
    EXPECT_NE(message.find("bytes in all"), std::string::npos) << message;
    const auto broken = synthesize("", "<speak><break time=\"1&#9;x&#10;y\"/></speak>");
    EXPECT_NE(std::string(speech_service_last_markup_message()).find("\"1\\x09x\\x0ay\""), std::string::npos)
        << speech_service_last_markup_message();
}

}  // namespace
