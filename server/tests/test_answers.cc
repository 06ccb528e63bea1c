// SPDX-License-Identifier: Apache-2.0
// tts-server's answers as the apps that use it ask for them: every format
// decoded by ffmpeg, SSE joined, CORS as browsers ask, the listings, and
// answers cut short counted as failures.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/base64.h>
#include <unistd.h>
}

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "raw_http.h"
#include "server_process.h"

namespace {

using server_test::request;
using server_test::run;
using server_test::Response;
using server_test::ServerProcess;

const std::string kText = "春眠不觉晓，处处闻啼鸟。";

// Named for this process too: ctest runs each test in a process of its own,
// several at once, and they share the temporary folder.
std::string saved(const std::string &bytes, const std::string &name) {
    const std::string path = testing::TempDir() + "/tts-answer-" + std::to_string(getpid()) + "-" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

struct Decoded {
    std::string codec;  // as ffprobe names it; "" when it cannot read the file
    unsigned rate = 0;
    double seconds = -1;  // of the samples ffmpeg decodes
};

// What ffprobe says the answer is and how long ffmpeg decodes it to.
Decoded decode(const std::string &bytes, const std::string &format, unsigned pcm_rate = 0) {
    const std::string path = saved(bytes, format);
    const std::string input = (format == "pcm" ? "-f s16le -ar " + std::to_string(pcm_rate) + " -ac 1 " : "") + "-i " + path;
    Decoded d;
    std::istringstream probe(run("ffprobe -v error " + input.substr(0, input.size() - path.size() - 3) + path +
                                 " -show_entries stream=codec_name,sample_rate -of csv=p=0 2>&1"));
    std::string rate;
    if (!std::getline(probe, d.codec, ',') || !std::getline(probe, rate)) return {};
    d.rate = static_cast<unsigned>(std::atoi(rate.c_str()));
    const std::string pcm = run("ffmpeg -v error " + input + " -f s16le -ac 1 -");
    d.seconds = d.rate == 0 ? -1 : static_cast<double>(pcm.size()) / (2.0 * d.rate);
    return d;
}

std::string body(const std::string &fields, const std::string &text = kText) {
    return "{\"input\":\"" + text + "\"" + fields + "}";
}

bool have_ffmpeg() { return !run("command -v ffprobe && command -v ffmpeg").empty(); }

// Each format at the default rate and at another, decoded: the codec and
// rate asked for, and as long as the WAV (codecs pad a few frames). A text
// with no speech is still a valid, empty stream.
TEST(Answers, EveryFormatDecodesToTheWavsLength) {
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is not installed (scripts/install-deps.sh installs it)";
    ServerProcess server;
    struct Case {
        std::string format, type, codec;
        unsigned other_rate;
        double frames;  // samples a decoder may add: the codec's priming and padding
    };
    const std::vector<Case> cases = {
        {"mp3", "audio/mpeg", "mp3", 22050, 2 * 1152},    {"opus", "audio/ogg", "opus", 48000, 0.02 * 48000},
        {"aac", "audio/aac", "aac", 16000, 2 * 1024},     {"flac", "audio/flac", "flac", 8000, 0},
        {"wav", "audio/wav", "pcm_s16le", 48000, 0},      {"pcm", "audio/pcm", "pcm_s16le", 22050, 0},
    };
    for (const unsigned wav_rate : {24000u, 0u}) {
        for (const auto &c : cases) {
            const unsigned rate = wav_rate != 0 ? wav_rate : c.other_rate;
            const std::string rate_field = wav_rate != 0 ? "" : ",\"sample_rate\":" + std::to_string(rate);
            const Response wav = request(server.port(), "POST", "/v1/audio/speech",
                                         body(rate_field + ",\"response_format\":\"wav\""));
            const Response r = request(server.port(), "POST", "/v1/audio/speech",
                                       body(rate_field + ",\"response_format\":\"" + c.format + "\""));
            ASSERT_EQ(r.status, 200) << c.format << " " << r.body;
            EXPECT_EQ(r.headers.at("content-type"), c.type);
            const Decoded d = decode(r.body, c.format, rate);
            const Decoded w = decode(wav.body, "wav");
            EXPECT_EQ(d.codec, c.codec) << c.format << " at " << rate;
            // Opus decodes at 48 kHz whatever it was made at.
            EXPECT_EQ(d.rate, c.format == "opus" ? 48000 : rate) << c.format;
            EXPECT_GT(w.seconds, 1.0);
            EXPECT_NEAR(d.seconds, w.seconds, c.frames / rate + 0.001) << c.format << " at " << rate;
        }
    }
    for (const auto &c : cases) {
        if (c.format == "pcm") continue;
        const Response silent = request(server.port(), "POST", "/v1/audio/speech",
                                        body(",\"response_format\":\"" + c.format + "\"", "。"));
        ASSERT_EQ(silent.status, 200) << c.format;
        EXPECT_EQ(decode(silent.body, c.format).codec, c.codec) << c.format << " of no speech is not a valid stream";
    }
}

std::string base64_decoded(const std::string &text) {
    std::vector<std::uint8_t> out(text.size() * 3 / 4 + 3);
    const int n = av_base64_decode(out.data(), text.c_str(), static_cast<int>(out.size()));
    return n < 0 ? "not base64" : std::string(out.begin(), out.begin() + n);
}

// stream_format sse: delta events whose audio joined is the plain answer,
// then one done event with the usage.
TEST(Answers, SseDeltasJoinedAreThePlainAnswer) {
    ServerProcess server;
    for (const char *format : {"mp3", "aac", "flac", "wav", "pcm"}) {
        const std::string fields = ",\"response_format\":\"" + std::string(format) + "\"";
        const Response plain = request(server.port(), "POST", "/v1/audio/speech", body(fields));
        const Response sse = request(server.port(), "POST", "/v1/audio/speech", body(fields + ",\"stream_format\":\"sse\""));
        ASSERT_EQ(sse.status, 200) << format;
        EXPECT_EQ(sse.headers.at("content-type"), "text/event-stream");
        std::string joined, done;
        int deltas = 0;
        std::istringstream events(sse.body);
        for (std::string line; std::getline(events, line);) {
            if (line.empty()) continue;
            ASSERT_EQ(line.rfind("data: {\"", 0), 0u) << line.substr(0, 80);
            const std::string delta = "data: {\"audio\":\"";
            if (line.rfind(delta, 0) == 0) {
                const auto end = line.find('"', delta.size());
                joined += base64_decoded(line.substr(delta.size(), end - delta.size()));
                ++deltas;
                EXPECT_NE(line.find("\"type\":\"speech.audio.delta\""), std::string::npos);
            } else {
                EXPECT_TRUE(done.empty()) << "an event after the done event";
                done = line;
            }
        }
        EXPECT_GT(deltas, 0);
        EXPECT_TRUE(joined == plain.body) << format << ": " << joined.size() << " bytes joined against " << plain.body.size();
        EXPECT_EQ(done.rfind("data: {\"type\":\"speech.audio.done\",\"usage\":{\"input_tokens\":12,\"output_tokens\":", 0), 0u)
            << done;
    }
}

// A stream cut by a failing engine after its 200 is counted as that failure.
TEST(Answers, StreamCutByTheEngineCountsAsAFailure) {
    ServerProcess server({}, {"SPEECH_SERVICE_ENGINE=" SERVER_TEST_HELPERS "/speak_then_hang.sh",
                              "SPEECH_SERVICE_ENGINE_TIMEOUT_MS=1500"});
    for (const char *fields : {",\"response_format\":\"pcm\"", ",\"response_format\":\"mp3\",\"stream_format\":\"sse\""}) {
        const Response r = request(server.port(), "POST", "/v1/audio/speech", body(fields));
        EXPECT_EQ(r.status, 200) << fields;
        EXPECT_FALSE(r.chunked_complete) << fields << ": the cut stream ended as if complete";
    }
    const std::string metrics = request(server.port(), "GET", "/metrics").body;
    EXPECT_NE(metrics.find("tts_requests_total{protocol=\"http\",route=\"/v1/audio/speech\",status=\"504\"} 2\n"), std::string::npos) << metrics;
    EXPECT_EQ(metrics.find("route=\"/v1/audio/speech\",status=\"200\""), std::string::npos) << metrics;
}

// The preflight exchange as a browser makes it, then the request itself;
// no CORS header at all without --cors-origin.
TEST(Answers, CorsPreflightAndAnswersAsBrowsersSeeThem) {
    const std::string token = testing::TempDir() + "/tts-cors-token";
    std::ofstream(token) << "t0ken\n";
    ServerProcess server({"--cors-origin", "http://page.example:8080", "--token-file", token});
    const std::string preflight_headers = "Origin: http://page.example:8080\r\nAccess-Control-Request-Method: POST\r\n"
                                          "Access-Control-Request-Headers: authorization,content-type\r\n";
    Response pre = request(server.port(), "OPTIONS", "/v1/audio/speech", "", preflight_headers);
    EXPECT_EQ(pre.status, 204);
    EXPECT_EQ(pre.headers["access-control-allow-origin"], "http://page.example:8080");
    EXPECT_EQ(pre.headers["access-control-allow-headers"], "authorization,content-type");
    EXPECT_NE(pre.headers["access-control-allow-methods"].find("POST"), std::string::npos);
    const std::string post = "Content-Type: application/json\r\nAuthorization: Bearer t0ken\r\n";
    Response r = request(server.port(), "POST", "/v1/audio/speech", body(",\"response_format\":\"pcm\""),
                               post + "Origin: http://page.example:8080\r\n");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.headers["access-control-allow-origin"], "http://page.example:8080");
    EXPECT_EQ(request(server.port(), "POST", "/v1/audio/speech", "{}", post + "Origin: http://page.example:8080\r\n")
                  .headers["access-control-allow-origin"],
              "http://page.example:8080")
        << "errors too";
    const Response other = request(server.port(), "OPTIONS", "/v1/audio/speech", "",
                                   "Origin: http://evil.example\r\nAccess-Control-Request-Method: POST\r\n");
    EXPECT_EQ(other.headers.count("access-control-allow-origin"), 0u);

    ServerProcess plain;
    EXPECT_EQ(request(plain.port(), "GET", "/v1/models", "", "Origin: http://page.example:8080\r\n")
                  .headers.count("access-control-allow-origin"),
              0u);
    EXPECT_EQ(request(plain.port(), "OPTIONS", "/v1/audio/speech", "", preflight_headers).status, 405);
}

// What each app sends (its own fields, in its own shape), with curl; the
// answer decodes and lasts as long as the WAV.
TEST(Answers, EachAppGetsAudioWithItsDefaults) {
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is not installed (scripts/install-deps.sh installs it)";
    ServerProcess server;
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/v1/audio/speech";
    const Decoded wav = decode(request(server.port(), "POST", "/v1/audio/speech", body(",\"response_format\":\"wav\"")).body, "wav");
    struct App {
        const char *name, *json, *format, *type;
    };
    const std::vector<App> apps = {
        {"openai client", R"({"model":"tts-1","voice":"alloy","input":"%s"})", "mp3", "audio/mpeg"},
        {"Open WebUI", R"({"input":"%s","model":"tts-1","voice":"alloy"})", "mp3", "audio/mpeg"},
        {"SillyTavern", R"({"input":"%s","voice":"alloy","model":"tts-1","response_format":"mp3","speed":1})", "mp3", "audio/mpeg"},
        {"Home Assistant", R"({"model":"tts-1","voice":"shimmer","input":"%s","response_format":"mp3","speed":1.0,"instructions":"Speak warmly."})",
         "mp3", "audio/mpeg"},
        {"LibreChat", R"({"model":"tts-1","input":"%s","voice":"alloy"})", "mp3", "audio/mpeg"},
        {"pipecat", R"({"input":"%s","model":"gpt-4o-mini-tts","voice":"alloy","response_format":"pcm","instructions":null})",
         "pcm", "audio/pcm"},
    };
    for (const App &app : apps) {
        std::string json = app.json;
        json.replace(json.find("%s"), 2, kText);
        const std::string out = testing::TempDir() + "/tts-app-answer-" + std::to_string(getpid());
        const std::string status = run("curl -sS -o " + out + " -w '%{http_code} %{content_type}' -H 'Content-Type: application/json' "
                                       "-H 'Authorization: Bearer sk-unused' -d '" + json + "' " + url);
        EXPECT_EQ(status, std::string("200 ") + app.type) << app.name;
        std::ifstream in(out, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        const Decoded d = decode(bytes, app.format, 24000);
        EXPECT_EQ(d.rate, 24000u) << app.name;
        EXPECT_NEAR(d.seconds, wav.seconds, 0.12) << app.name;
    }
    // LibreChat fetches a long text in pieces and appends them to one
    // MediaSource: the MP3 answers joined play as both.
    const std::string a = request(server.port(), "POST", "/v1/audio/speech", body("")).body;
    const std::string b = request(server.port(), "POST", "/v1/audio/speech", body("", "夜来风雨声，花落知多少。")).body;
    EXPECT_NEAR(decode(a + b, "mp3").seconds, decode(a, "mp3").seconds + decode(b, "mp3").seconds, 0.06);
}

TEST(Answers, ListingsAndVoiceAliases) {
    ServerProcess server({"--voice-alias", "echo=en"});
    EXPECT_EQ(request(server.port(), "GET", "/v1/audio/models").body, "{\"models\":[{\"id\":\"tts-1\"},{\"id\":\"tts-1-hd\"}]}\n");
    EXPECT_NE(request(server.port(), "GET", "/v1/models").body.find("{\"created\":0,\"id\":\"tts-1\",\"object\":\"model\""),
              std::string::npos);
    const Response voices = request(server.port(), "GET", "/v1/audio/voices");
    EXPECT_EQ(voices.body.rfind("{\"voices\":[{\"id\":\"xiaoxin\",\"name\":\"xiaoxin (Mandarin)\"}", 0), 0u) << voices.body.substr(0, 100);
    EXPECT_EQ(request(server.port(), "GET", "/v1/voices").status, 200);
    const auto pcm = [&](const char *voice) {
        return request(server.port(), "POST", "/v1/audio/speech",
                       body(",\"response_format\":\"pcm\",\"voice\":\"" + std::string(voice) + "\""))
            .body;
    };
    EXPECT_TRUE(pcm("alloy") == pcm("xiaoxin"));
    EXPECT_TRUE(pcm("echo") == pcm("en"));
    EXPECT_FALSE(pcm("echo") == pcm("alloy"));
    EXPECT_EQ(request(server.port(), "POST", "/v1/audio/speech", body(",\"voice\":\"nosuchvoice\"")).status, 400);
}

// A WAV longer than the server keeps in memory still states exact sizes:
// the same samples as pcm behind a header that matches them.
TEST(Answers, LongWavKeepsExactSizes) {
    ServerProcess server({"--max-text", "100000"});
    std::string text;
    while (text.size() < 4000) text += "春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。";
    const Response wav = request(server.port(), "POST", "/v1/audio/speech", body(",\"response_format\":\"wav\"", text));
    ASSERT_EQ(wav.status, 200);
    ASSERT_GT(wav.body.size(), 5u << 20) << "the text is too short to leave memory";
    EXPECT_EQ(wav.headers.at("content-length"), std::to_string(wav.body.size()));
    const auto le32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(wav.body[at]) | static_cast<unsigned char>(wav.body[at + 1]) << 8 |
                                          static_cast<unsigned char>(wav.body[at + 2]) << 16 |
                                          static_cast<std::uint32_t>(static_cast<unsigned char>(wav.body[at + 3])) << 24);
    };
    EXPECT_EQ(le32(4), wav.body.size() - 8);
    EXPECT_EQ(le32(40), wav.body.size() - 44);
    const Response pcm = request(server.port(), "POST", "/v1/audio/speech", body(",\"response_format\":\"pcm\"", text));
    EXPECT_TRUE(pcm.chunked_complete);
    EXPECT_EQ(pcm.body.size(), wav.body.size() - 44);
    EXPECT_TRUE(pcm.body == wav.body.substr(44));

    // No temporary file possible (a read-only root): streamed, with the
    // sizes a WAV stream states.
    ServerProcess read_only({"--max-text", "100000"}, {"TMPDIR=/proc/self"});
    const Response streamed = request(read_only.port(), "POST", "/v1/audio/speech", body(",\"response_format\":\"wav\"", text));
    ASSERT_EQ(streamed.status, 200);
    EXPECT_TRUE(streamed.chunked_complete);
    EXPECT_EQ(streamed.body.substr(0, 4), "RIFF");
    EXPECT_EQ(streamed.body.substr(40, 4), "\xFF\xFF\xFF\xFF");
    EXPECT_TRUE(streamed.body.substr(44) == pcm.body);
}

}  // namespace
