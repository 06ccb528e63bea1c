// SPDX-License-Identifier: Apache-2.0
// The pieces of tts-server that need no server: speed mapping, the token
// check, the command line.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "api_error.h"
#include "audio_encoder.h"
#include "bearer_token.h"
#include "cors.h"
#include "listings.h"
#include "metrics.h"
#include "options.h"
#include "shown_text.h"
#include "request_framing.h"
#include "speech_request.h"
#include "speech_service.h"
#include "voice_aliases.h"

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

// What clients send and what it becomes (or which field is refused, with
// the one message for every wrong rate of a format).
TEST(SpeechRequest, FormatsRatesVoicesAndIgnoredFields) {
    VoiceAliases aliases;
    ASSERT_EQ(aliases.set("nova=en"), "");
    struct Case {
        std::string body;
        std::string param;  // "" when accepted
        AudioFormat format = AudioFormat::kMp3;
        unsigned rate = 24000;
        std::string voice = "xiaoxin";
        bool sse = false;
    };
    const std::string opus_rates = "sample_rate: must be one of 8000, 12000, 16000, 24000 or 48000 for opus";
    const std::vector<Case> cases = {
        {R"({"input":"hi","model":"tts-1","voice":"alloy","instructions":"calm","x":[1]})", ""},
        {R"({"input":"hi","voice":"SHIMMER","response_format":"MP3"})", ""},
        {R"({"input":"hi","voice":"nova","response_format":"opus","sample_rate":48000})", "", AudioFormat::kOpus, 48000, "en"},
        {R"({"input":"hi","voice":"en","response_format":"aac","sample_rate":22050})", "", AudioFormat::kAac, 22050, "en"},
        {R"({"input":"hi","response_format":"Flac","stream_format":"sse"})", "", AudioFormat::kFlac, 24000, "xiaoxin", true},
        {R"({"input":"hi","response_format":"pcm","stream_format":"audio","sample_rate":8000})", "", AudioFormat::kPcm, 8000},
        {R"({"input":"hi","response_format":"wav","sample_rate":16000})", "", AudioFormat::kWav, 16000},
        {R"({"input":"hi","response_format":"ogg"})", "response_format"},
        {R"({"input":"hi","response_format":1})", "response_format"},
        {R"({"input":"hi","stream_format":"chunks"})", "stream_format"},
        {R"({"input":"hi","voice":"nosuch voice"})", "voice"},
        {R"({"input":"hi","response_format":"opus","sample_rate":22050})", opus_rates},
        {R"({"input":"hi","response_format":"opus","sample_rate":"fast"})", opus_rates},
        {R"({"input":"hi","response_format":"opus","sample_rate":16000.5})", opus_rates},
        {R"({"input":"hi","sample_rate":7999})", "sample_rate"},
    };
    for (const auto &c : cases) {
        const auto r = parse_speech_request(c.body, 100, &aliases);
        if (!c.param.empty()) {
            ASSERT_EQ(r.index(), 1u) << c.body;
            const ApiError &e = std::get<ApiError>(r);
            if (c.param.find(':') != std::string::npos) {
                EXPECT_EQ(e.message, c.param) << c.body;
            } else {
                EXPECT_EQ(e.param, c.param) << c.body;
            }
            continue;
        }
        ASSERT_EQ(r.index(), 0u) << c.body << ": " << std::get<ApiError>(r).message;
        const SpeechRequest &q = std::get<SpeechRequest>(r);
        EXPECT_EQ(q.format, c.format) << c.body;
        EXPECT_EQ(q.sample_rate, c.rate) << c.body;
        EXPECT_EQ(q.voice, c.voice) << c.body;
        EXPECT_EQ(q.sse, c.sse) << c.body;
    }
    // Without aliases an API voice name is passed on (and refused there).
    EXPECT_EQ(std::get<SpeechRequest>(parse_speech_request(R"({"input":"hi","voice":"alloy"})", 100)).voice, "alloy");
}

TEST(VoiceAliases, EveryApiNameMapsAndAliasesAreConfigurable) {
    VoiceAliases aliases;
    for (const std::string &name : VoiceAliases::api_voice_names()) ASSERT_NE(aliases.find(name), nullptr) << name;
    EXPECT_EQ(*aliases.find("Alloy"), "xiaoxin");
    EXPECT_EQ(aliases.find("xiaoxin"), nullptr);
    const std::string file = testing::TempDir() + "/tts-aliases";
    std::ofstream(file) << "# ours\n\n  onyx = en-us \nnarrator=cmn\n";
    ASSERT_EQ(aliases.load(file), "");
    EXPECT_EQ(*aliases.find("onyx"), "en-us");
    EXPECT_EQ(*aliases.find("narrator"), "cmn");
    std::ofstream(file) << "fine=en\nbad line\n";
    EXPECT_EQ(aliases.load(file), file + ":2: an alias is NAME=VOICE, not 'bad line'");
    for (const char *bad : {"x=", "=en", "x=en, rdn = 2", "x"}) EXPECT_NE(aliases.set(bad), "") << bad;
}

TEST(Cors, OnlyListedOriginsAreAllowed) {
    const CorsPolicy listed({"https://app.example"});
    EXPECT_EQ(listed.allow_origin("https://app.example"), "https://app.example");
    EXPECT_EQ(listed.allow_origin("https://evil.example"), "");
    EXPECT_EQ(listed.allow_origin(nullptr), "");
    EXPECT_EQ(CorsPolicy({"*"}).allow_origin("https://any.example"), "*");
    EXPECT_FALSE(CorsPolicy().enabled());
    EXPECT_TRUE(listed.preflight("https://evil.example", "content-type").empty());
    const auto headers = listed.preflight("https://app.example", "authorization,content-type,x-stainless-os");
    ASSERT_EQ(headers.size(), 5u);
    EXPECT_EQ(headers[2].second, "authorization,content-type,x-stainless-os");
    EXPECT_EQ(listed.preflight("https://app.example", "x\r\nSet-Cookie: a")[2].second, "Authorization, Content-Type");
    for (const auto &[origin, ok] : std::vector<std::pair<std::string, bool>>{
             {"*", true}, {"http://localhost:3000", true}, {"https://[::1]:8080", true}, {"localhost", false},
             {"https://a.example/path", false}, {"https://", false}, {"https://a b", false}})
        EXPECT_EQ(valid_cors_origin(origin), ok) << origin;
}

TEST(Listings, ShapesAndMandarinFirst) {
    EXPECT_EQ(audio_models_body(), "{\"models\":[{\"id\":\"tts-1\"},{\"id\":\"tts-1-hd\"}]}\n");
    EXPECT_NE(models_body().find("\"object\":\"list\""), std::string::npos);
    EXPECT_EQ(audio_voices_body("xiaoxin\tcmn-latn-pinyin\naf\taf\ncmn\tcmn\nyue\tyue\n"),
              "{\"voices\":[{\"id\":\"xiaoxin\",\"name\":\"xiaoxin (Mandarin)\"},{\"id\":\"cmn\",\"name\":\"cmn (Mandarin)\"},"
              "{\"id\":\"yue\",\"name\":\"yue (yue)\"},"
              "{\"id\":\"af\",\"name\":\"af (af, does not read Chinese characters)\"}]}\n");
}

// Every streamed encoder makes a stream of no samples, and hands out its
// bytes as it goes (never all of them only at the end).
TEST(AudioEncoder, EmptyStreamsAreValidAndLongOnesFlowAsTheyAreMade) {
    for (const AudioFormat f : {AudioFormat::kMp3, AudioFormat::kOpus, AudioFormat::kAac, AudioFormat::kFlac}) {
        std::string error;
        auto empty = make_encoder(f, 24000, error);
        ASSERT_NE(empty, nullptr) << error;
        std::string out;
        ASSERT_EQ(empty->finish(out), "");
        EXPECT_FALSE(out.empty()) << format_name(f);
        EXPECT_TRUE(f != AudioFormat::kFlac || out.substr(0, 4) == "fLaC");

        auto encoder = make_encoder(f, 24000, error);
        std::string tone;
        for (int i = 0; i < 24000; ++i) {
            const auto v = static_cast<std::int16_t>(8000 * ((i / 30) % 2 ? 1 : -1));
            tone += {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
        }
        std::string streamed;
        for (int second = 0; second < 10; ++second) ASSERT_EQ(encoder->add(tone, streamed), "");
        const std::size_t before_end = streamed.size();
        ASSERT_EQ(encoder->finish(streamed), "");
        EXPECT_GT(before_end, streamed.size() / 2) << format_name(f);
    }
}

// Each encoder takes every rate the request may name for its format (each
// rate has its own bit rate and band to set), and hands out bytes before
// the end of the stream.
TEST(AudioEncoder, EveryAllowedRateEncodes) {
    for (const AudioFormat f : {AudioFormat::kMp3, AudioFormat::kOpus, AudioFormat::kAac, AudioFormat::kFlac}) {
        for (const unsigned rate : allowed_rates(f)) {
            std::string error;
            auto encoder = make_encoder(f, rate, error);
            ASSERT_NE(encoder, nullptr) << format_name(f) << " at " << rate << ": " << error;
            const std::string speech(2 * rate, '\x10');  // a second of a faint level
            std::string out;
            ASSERT_EQ(encoder->add(speech, out), "") << format_name(f) << " at " << rate;
            EXPECT_FALSE(out.empty()) << format_name(f) << " at " << rate << " hands out nothing before its end";
            ASSERT_EQ(encoder->finish(out), "") << format_name(f) << " at " << rate;
        }
    }
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
                                         {"x", "--request-timeout", "0"}, {"x", "--max-connections", "x"},
                                         {"x", "--voice-alias", "alloy"}, {"x", "--voice-alias"},
                                         {"x", "--cors-origin", "app.example"}, {"x", "--cors-origin"}}) {
        std::vector<char *> v;
        for (auto &a : bad) v.push_back(a.data());
        EXPECT_EQ(parse_options(static_cast<int>(v.size()), v.data()).index(), 1u) << bad[1];
    }
    std::vector<std::string> web = {"tts-server", "--voice-alias", "nova=en", "--voice-alias", "x=cmn", "--cors-origin", "*"};
    std::vector<char *> web_argv;
    for (auto &a : web) web_argv.push_back(a.data());
    const auto w = std::get<Options>(parse_options(static_cast<int>(web_argv.size()), web_argv.data()));
    EXPECT_EQ(w.voice_aliases, (std::vector<std::string>{"nova=en", "x=cmn"}));
    EXPECT_EQ(w.cors_origins, std::vector<std::string>{"*"});
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
    for (const auto &[in, out] : cases) EXPECT_EQ(tts_text::printable(in), out) << in;
    EXPECT_EQ(tts_text::printable("say \"hi\"", true), "say \\x22hi\\x22");
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
