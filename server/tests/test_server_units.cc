// SPDX-License-Identifier: Apache-2.0
// The pieces of tts-server that need no server: speed mapping, the token
// check, the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api_error.h"
#include "bearer_token.h"
#include "metrics.h"
#include "options.h"
#include "printable.h"
#include "request_framing.h"
#include "speech_request.h"
#include "speech_service.h"

namespace {

using namespace tts_server;

TEST(SpeechRequest, SpeedMapsEachDoublingToTheSameStep) {
    const std::vector<std::pair<double, unsigned>> cases = {{0.25, 0}, {0.5, 25}, {1.0, 50}, {1.5, 65}, {2.0, 75}, {4.0, 100}};
    for (const auto &[speed, service] : cases) EXPECT_EQ(service_speed(speed), service) << speed;
}

TEST(SpeechRequest, SessionParametersCarryEveryField) {
    const auto r = parse_speech_request(
        R"({"input":"hi","voice":"en","speed":2,"sample_rate":8000,"pitch":10,"volume":90,"rdn":1,"response_format":"pcm"})", 100);
    ASSERT_EQ(r.index(), 0u) << std::get<ApiError>(r).message;
    EXPECT_EQ(std::get<SpeechRequest>(r).session_params(),
              "voice_name = en, text_encoding = utf8, sample_rate = 8000, speed = 75, volume = 90, pitch = 10, rdn = 1");
    EXPECT_EQ(std::get<SpeechRequest>(parse_speech_request(R"({"input":"hi"})", 100)).session_params(),
              "voice_name = xiaoxin, text_encoding = utf8, sample_rate = 16000, speed = 50, volume = 50, pitch = 50, rdn = 0");
}

TEST(BearerToken, OnlyTheExactTokenMatches) {
    const std::vector<std::pair<const char *, bool>> cases = {
        {"Bearer abc123", true}, {"Bearer abc12", false}, {"Bearer abc1234", false}, {"Bearer abd123", false},
        {"bearer abc123", true}, {"BEARER  abc123", true}, {"Bearerabc123", false}, {"Bearer\tabc123", false},
        {"Basic abc123", false}, {"Bearer ", false}, {nullptr, false}};
    for (const auto &[header, ok] : cases) EXPECT_EQ(bearer_matches(header, "abc123"), ok) << (header ? header : "null");
}

TEST(Options, ValuesAndRefusals) {
    std::vector<std::string> good = {"tts-server", "--listen", "[::1]:0", "--workers", "3", "--queue", "7", "--max-text", "10", "--access-log"};
    std::vector<char *> argv;
    for (auto &a : good) argv.push_back(a.data());
    const auto o = std::get<Options>(parse_options(static_cast<int>(argv.size()), argv.data()));
    EXPECT_EQ(o.listen, "[::1]:0");
    EXPECT_EQ(o.workers, 3u);
    EXPECT_EQ(o.queue, 7u);
    EXPECT_EQ(o.max_text, 10u);
    EXPECT_TRUE(o.access_log);
    std::vector<std::string> limits = {"x", "--max-audio-seconds", "86400", "--request-timeout", "5", "--max-connections", "9",
                                       "--max-client-connections", "3"};
    std::vector<char *> lv;
    for (auto &a : limits) lv.push_back(a.data());
    const auto l = std::get<Options>(parse_options(static_cast<int>(lv.size()), lv.data()));
    EXPECT_EQ(l.max_audio_seconds, 86400u);
    EXPECT_EQ(l.request_timeout, 5u);
    EXPECT_EQ(l.max_connections, 9u);
    EXPECT_EQ(l.max_client_connections, 3u);
    EXPECT_EQ(std::get<Options>(parse_options(1, lv.data())).max_audio_seconds, 3600u);
    for (std::vector<std::string> bad : {std::vector<std::string>{"x", "--workers", "0"}, {"x", "--queue", "-1"},
                                         {"x", "--max-text", "1k"}, {"x", "--listen"}, {"x", "--port", "1"},
                                         {"x", "--listen", ":5500"}, {"x", "--listen", "h:65536"}, {"x", "--listen", "h:"},
                                         {"x", "--max-audio-seconds", "0"}, {"x", "--max-audio-seconds", "86401"},
                                         {"x", "--request-timeout", "0"}, {"x", "--max-connections", "x"}}) {
        std::vector<char *> v;
        for (auto &a : bad) v.push_back(a.data());
        EXPECT_EQ(parse_options(static_cast<int>(v.size()), v.data()).index(), 1u) << bad[1];
    }
}

// Invalid UTF-8 is reported on the field that holds it.
TEST(SpeechRequest, InvalidUtf8NamesItsField) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{\"input\":\"a\xff\"}", "input"},
        {"{\"input\":\"a\",\"voice\":\"x\xc0\xafy\"}", "voice"},
        {"{\"input\":\"a\",\"response_format\":\"\xed\xa0\x80\"}", "response_format"},
        {"{\"input\":\"a\",\"extra\":[\"\xf8\"]}", "extra"},
        {"{\"input\":\"a\",\"\xff\":1}", ""},
        {"{\"input\":\"\xef\xbf\xbf\xff\"}", ""},
    };
    for (const auto &[body, field] : cases) {
        const auto r = parse_speech_request(body, 100);
        ASSERT_EQ(r.index(), 1u) << body;
        EXPECT_EQ(std::get<ApiError>(r).status, 400u);
        EXPECT_EQ(std::get<ApiError>(r).param, field) << body;
    }
}

// Every code a request causes is the client's fault: 400 on its field.
TEST(ApiError, ServiceCodesAreClassedByWhoseFaultTheyAre) {
    struct Case {
        int code;
        unsigned status;
        const char *param;
    };
    const std::vector<Case> cases = {
        {SPEECH_ERR_UNKNOWN_VOICE, 400, "voice"}, {SPEECH_ERR_BAD_SAMPLE_RATE, 400, "sample_rate"},
        {SPEECH_ERR_INVALID_TEXT, 400, "input"},  {SPEECH_ERR_BAD_SSML, 400, "input"},
        {SPEECH_ERR_AUDIO_TOO_LONG, 400, "input"}, {SPEECH_ERR_ENGINE_TIMEOUT, 504, ""},
        {SPEECH_ERR_ENGINE_CRASHED, 500, ""},      {SPEECH_ERR_BAD_LEXICON, 500, ""},
        {SPEECH_ERR_OUT_OF_MEMORY, 500, ""},
    };
    for (const auto &c : cases) {
        const ApiError e = service_failure(c.code, "", 60);
        EXPECT_EQ(e.status, c.status) << c.code;
        EXPECT_EQ(e.param, c.param) << c.code;
    }
    EXPECT_NE(service_failure(SPEECH_ERR_AUDIO_TOO_LONG, "", 60).message.find("max_audio_seconds allows (60 s on this server)"),
              std::string::npos);
}

TEST(Printable, ControlsAndInvalidBytesAreEscaped) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/plain/路径", "/plain/路径"},
        {"a\nb\r\tc", "a\\x0ab\\x0d\\x09c"},
        {"\x1b[31mred\x7f", "\\x1b[31mred\\x7f"},
        {"\xc2\x9b" "c1", "\\xc2\\x9bc1"},
        {"\xff\xc3", "\\xff\\xc3"},
        {"back\\slash \"q\"", "back\\\\slash \"q\""},
    };
    for (const auto &[in, out] : cases) EXPECT_EQ(printable(in), out) << in;
    EXPECT_EQ(printable("say \"hi\"", true), "say \\x22hi\\x22");
}

TEST(RequestFraming, AmbiguousBodiesAreRefused) {
    struct Case {
        HeaderList headers;
        unsigned status;  // 0: accepted
    };
    const std::vector<Case> cases = {
        {{{"Content-Length", "12"}}, 0},
        {{{"content-length", "12"}, {"Content-Length", "12"}}, 0},
        {{{"Content-Length", "12, 12"}}, 0},
        {{{"Transfer-Encoding", "Chunked"}}, 0},
        {{{"Content-Length", "12"}, {"Content-Length", "13"}}, 400},
        {{{"Content-Length", "12, 13"}}, 400},
        {{{"Content-Length", "+12"}}, 400},
        {{{"Content-Length", ""}}, 400},
        {{{"Content-Length", "3"}, {"Transfer-Encoding", "chunked"}}, 400},
        {{{"Transfer-Encoding", "gzip, chunked"}}, 501},
        {{{"Transfer-Encoding", "chunked"}, {"Transfer-Encoding", "identity"}}, 501},
    };
    for (const auto &c : cases) {
        const auto e = framing_error(c.headers);
        EXPECT_EQ(e ? e->status : 0u, c.status) << c.headers.front().first << ": " << c.headers.front().second;
    }
}

// Counters keep every increment, however large they grow.
TEST(Metrics, CountersArePrintedExactly) {
    Metrics m;
    m.add_audio_seconds(1234567.0);
    for (int i = 0; i < 3; ++i) m.add_audio_seconds(0.0625);
    m.record("/healthz", 200, 0.25);
    const std::string page = m.render({});
    EXPECT_NE(page.find("tts_audio_seconds_total 1234567.187500\n"), std::string::npos) << page;
    EXPECT_NE(page.find("tts_request_duration_seconds_sum 0.250000\n"), std::string::npos) << page;
}

}  // namespace
