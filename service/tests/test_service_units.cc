// SPDX-License-Identifier: Apache-2.0
// The service's pure pieces: parameter lists, session settings and their
// engine mapping, text validation, digit reading.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "digit_reading.h"
#include "engine_timeout.h"
#include "engine_segments.h"
#include "param_list.h"
#include "session_config.h"
#include "speech_service.h"
#include "utf8.h"

namespace {

TEST(ParamList, AcceptsAnyBlanksAroundSeparators) {
    std::vector<speech::Param> list;
    ASSERT_TRUE(speech::parse_param_list("appid = 7c2e94b0, work_dir = .", list));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].key, "work_dir");
    EXPECT_EQ(list[1].value, ".");
    ASSERT_TRUE(speech::parse_param_list("a=1,b  =  2 ,\tc= x y", list));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].value, "x y");
    ASSERT_TRUE(speech::parse_param_list("  ", list));
    EXPECT_TRUE(list.empty());
    ASSERT_TRUE(speech::parse_param_list("a = 1, a = 2", list));
    EXPECT_EQ(*speech::find_param(list, "a"), "2") << "the last pair wins";
    EXPECT_EQ(speech::find_param(list, "b"), nullptr);
}

TEST(ParamList, RejectsMalformedPairs) {
    std::vector<speech::Param> list;
    for (const char *bad : {"appid", "= 1", "a = 1 b = 2", "a =", "a = 1,", "a = 1,, b = 2", ",a = 1"})
        EXPECT_FALSE(speech::parse_param_list(bad, list)) << bad;
}

TEST(SessionConfig, DefaultsAndTheLibrarysFixedParameters) {
    speech::SessionConfig c;
    ASSERT_EQ(speech::parse_session_config(nullptr, c), SPEECH_OK);
    EXPECT_EQ(c.engine_voice, "cmn-latn-pinyin");
    ASSERT_EQ(speech::parse_session_config("voice_name = xiaoxin, text_encoding = utf8, sample_rate = 16000, "
                                           "speed = 50, volume = 50, pitch = 50, rdn = 2",
                                           c),
              SPEECH_OK);
    EXPECT_EQ(c.sample_rate, 16000);
    EXPECT_EQ(c.rdn, 2);
    ASSERT_EQ(speech::parse_session_config("voice_name = en, sample_rate = 8000, future_key = 1", c), SPEECH_OK);
    EXPECT_EQ(c.engine_voice, "en");
    EXPECT_EQ(c.sample_rate, 8000);
}

TEST(SessionConfig, EveryBadValueHasItsCode) {
    const std::vector<std::pair<const char *, int>> cases = {
        {"voice_name = nosuchvoice", SPEECH_ERR_UNKNOWN_VOICE},
        {"voice_name = ../../etc/passwd", SPEECH_ERR_UNKNOWN_VOICE},
        {"voice_name = zh", SPEECH_ERR_UNKNOWN_VOICE},
        {"text_encoding = gb2312", SPEECH_ERR_BAD_ENCODING},
        {"sample_rate = 22050", SPEECH_ERR_BAD_SAMPLE_RATE},
        {"speed = 101", SPEECH_ERR_OUT_OF_RANGE},
        {"volume = -1", SPEECH_ERR_OUT_OF_RANGE},
        {"pitch = 5x", SPEECH_ERR_OUT_OF_RANGE},
        {"rdn = 3", SPEECH_ERR_OUT_OF_RANGE},
        {"speed = 99999999999", SPEECH_ERR_OUT_OF_RANGE},
        {"voice_name xiaoxin", SPEECH_ERR_MALFORMED_PARAMS},
    };
    for (const auto &[params, code] : cases) {
        speech::SessionConfig c;
        EXPECT_EQ(speech::parse_session_config(params, c), code) << params;
    }
}

TEST(SessionConfig, LevelsMapOntoTheEngineScalesWithFiftyAsItsDefault) {
    EXPECT_EQ(speech::engine_rate(0), 80);
    EXPECT_EQ(speech::engine_rate(50), 175);
    EXPECT_EQ(speech::engine_rate(100), 450);
    EXPECT_LT(speech::engine_rate(49), speech::engine_rate(51));
    EXPECT_EQ(speech::engine_volume(50), 100);
    EXPECT_EQ(speech::engine_volume(100), 200);
    EXPECT_EQ(speech::engine_pitch(50), 50);
}

TEST(Utf8, AcceptsWellFormedTextOnly) {
    const std::string good[] = {"", "hello", "你好，世界", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF"};
    for (const auto &s : good) EXPECT_TRUE(speech::is_speakable_utf8(s.data(), s.size())) << s;
    const std::string bad[] = {
        "\xC0\xAF",          // overlong
        "\xE0\x80\xAF",      // overlong
        "\xED\xA0\x80",      // surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xE4\xBD",          // truncated
        "\x80",              // stray continuation
        "\xFF",
        std::string("a\0b", 3),
    };
    for (const auto &s : bad) EXPECT_FALSE(speech::is_speakable_utf8(s.data(), s.size()));
}

TEST(DigitReading, SeparatesRunsOfDigitsOnly) {
    EXPECT_EQ(speech::spell_out_digits("1234567"), "1 2 3 4 5 6 7");
    EXPECT_EQ(speech::spell_out_digits("第12号, 3 a45b"), "第1 2号, 3 a4 5b");
    EXPECT_EQ(speech::spell_out_digits(""), "");
}

TEST(EngineTimeout, UnsetOrInvalidIsTheDefaultAndHugeIsClamped) {
    using std::chrono::milliseconds;
    const std::vector<std::pair<const char *, milliseconds>> cases = {
        {nullptr, speech::kDefaultEngineTimeout},
        {"", speech::kDefaultEngineTimeout},
        {"0", speech::kDefaultEngineTimeout},
        {"-5", speech::kDefaultEngineTimeout},
        {"12x", speech::kDefaultEngineTimeout},
        {"400", milliseconds(400)},
        {"86400000", speech::kMaxEngineTimeout},
        {"86400001", speech::kMaxEngineTimeout},
        {"9223372036854775807", speech::kMaxEngineTimeout},
        {"99999999999999999999999", speech::kMaxEngineTimeout},
    };
    for (const auto &[text, bound] : cases) EXPECT_EQ(speech::engine_timeout(text), bound) << (text ? text : "unset");
    // The session's clock arithmetic in nanoseconds stays far from overflow.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::nanoseconds>(speech::kMaxEngineTimeout).count(),
              std::chrono::nanoseconds::max().count() / 1000);
}

TEST(EngineSegments, OneSegmentInTheSessionsVoiceDigitsSpeltOutOnlyForRdn2) {
    struct Case {
        const char *voice;
        int rdn;
        const char *text;
        const char *spoken;
    };
    const Case cases[] = {
        {"cmn-latn-pinyin", 0, "第12号", "第12号"},
        {"cmn-latn-pinyin", 1, "第12号", "第12号"},
        {"cmn-latn-pinyin", 2, "第12号", "第1 2号"},
        {"en", 2, "call 911", "call 9 1 1"},
        {"en", 0, "", ""},
    };
    for (const Case &c : cases) {
        speech::SessionConfig config;
        config.engine_voice = c.voice;
        config.mandarin_front_end = false;  // an engine voice named directly
        config.rdn = c.rdn;
        std::vector<speech::EngineSegment> segments = {{"stale", "left over"}};
        ASSERT_EQ(speech::engine_segments(config, c.text, segments), SPEECH_OK);
        ASSERT_EQ(segments.size(), 1u) << c.text;
        EXPECT_EQ(segments[0].voice, c.voice);
        EXPECT_EQ(segments[0].text, c.spoken);
    }
}

TEST(EngineSegments, XiaoxinSpeaksTheMandarinReadingAndEnglishWordsInEnglish) {
    speech::SessionConfig config;
    ASSERT_EQ(speech::parse_session_config("voice_name = xiaoxin", config), SPEECH_OK);
    std::vector<speech::EngineSegment> segments = {{"stale", "left over"}};
    ASSERT_EQ(speech::engine_segments(config, "第12号，OK。", segments), SPEECH_OK);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].voice, "cmn-latn-pinyin");
    EXPECT_EQ(segments[0].text, "di4 shi2 er4 hao4，");
    EXPECT_EQ(segments[1].voice, "en");
    EXPECT_EQ(segments[1].text, "O.K.");
    config.rdn = 2;
    ASSERT_EQ(speech::engine_segments(config, "第12号", segments), SPEECH_OK);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].text, "di4 yi1 er4 hao4");
}

TEST(ErrorText, EveryCodeHasAMessage) {
    EXPECT_STREQ(speech_service_error_text(SPEECH_OK), "success");
    EXPECT_STREQ(speech_service_error_text(SPEECH_ERR_ENGINE_CRASHED), "the speech engine crashed or was killed");
    EXPECT_STREQ(speech_service_error_text(-1), "unknown error code");
}

}  // namespace
