// SPDX-License-Identifier: Apache-2.0
// tts-server as a process, on the real service and engine, with raw-socket
// clients, curl and the official OpenAI-style client.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "raw_http.h"
#include "server_process.h"
#include "speech_service.h"

namespace {

using server_test::Connection;
using server_test::eventually;
using server_test::request;
using server_test::run;
using server_test::Response;
using server_test::ServerProcess;

const std::string kHelpers = SPEECH_TEST_HELPERS;

std::uint32_t le32(const std::string &s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

// The samples of a FLAC file, as 16-bit little-endian bytes; checks its rate.
std::string flac_samples(const std::string &flac, unsigned rate) {
    const std::string path = testing::TempDir() + "/tts-server.flac";
    std::ofstream(path, std::ios::binary) << flac;
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr || info.samplerate != static_cast<int>(rate) || info.channels != 1) return "not a mono FLAC at the rate";
    // A streamed FLAC states no length: read to its end.
    std::vector<short> samples;
    short piece[4096];
    for (sf_count_t n; (n = sf_read_short(f, piece, 4096)) > 0;) samples.insert(samples.end(), piece, piece + n);
    sf_close(f);
    std::string out;
    for (const short v : samples) out += {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
    return out;
}

std::string speech_body(const std::string &fields) { return "{\"input\":\"你好，世界。\"" + fields + "}"; }

// A WAV body has exact sizes and the asked rate; pcm is the same samples,
// chunked.
TEST(Server, WavIsCompleteAndPcmIsTheSameSamplesStreamed) {
    ServerProcess server;
    for (const unsigned rate : {16000u, 8000u}) {
        const std::string rate_field = ",\"sample_rate\":" + std::to_string(rate);
        const Response wav = request(server.port(), "POST", "/v1/audio/speech", speech_body(rate_field + ",\"response_format\":\"wav\""));
        ASSERT_EQ(wav.status, 200) << wav.body;
        EXPECT_EQ(wav.headers.at("content-type"), "audio/wav");
        ASSERT_GT(wav.body.size(), 44u + 1000);
        EXPECT_EQ(wav.body.substr(0, 4), "RIFF");
        EXPECT_EQ(le32(wav.body, 4), wav.body.size() - 8);
        EXPECT_EQ(le32(wav.body, 24), rate);
        EXPECT_EQ(le32(wav.body, 40), wav.body.size() - 44);

        const Response pcm = request(server.port(), "POST", "/v1/audio/speech",
                                     speech_body(rate_field + ",\"response_format\":\"pcm\""));
        ASSERT_EQ(pcm.status, 200);
        EXPECT_EQ(pcm.headers.at("transfer-encoding"), "chunked");
        EXPECT_TRUE(pcm.chunked_complete);
        EXPECT_EQ(pcm.body, wav.body.substr(44));

        const Response flac = request(server.port(), "POST", "/v1/audio/speech",
                                      speech_body(rate_field + ",\"response_format\":\"flac\""));
        ASSERT_EQ(flac.status, 200);
        EXPECT_EQ(flac.headers.at("content-type"), "audio/flac");
        EXPECT_EQ(flac_samples(flac.body, rate), pcm.body) << "FLAC is lossless";
    }
}

// Every refusal: its status and the field it names.
TEST(Server, BadRequestsGetTheirStatusAndNameTheField) {
    ServerProcess server({"--max-text", "100"});
    struct Case {
        std::string method, path, body, headers;
        int status;
        std::string param;
    };
    const std::string json = "Content-Type: application/json\r\n";
    const std::vector<Case> cases = {
        {"POST", "/v1/audio/speech", "{\"input\":", json, 400, ""},
        {"POST", "/v1/audio/speech", "[1]", json, 400, ""},
        {"POST", "/v1/audio/speech", "{\"model\":\"x\"}", json, 400, "input"},
        {"POST", "/v1/audio/speech", "{\"input\":\"\"}", json, 400, "input"},
        {"POST", "/v1/audio/speech", "{\"input\":\"\xff\xfe\"}", json, 400, "input"},
        {"POST", "/v1/audio/speech", "{\"input\":\"a\\u0000b\"}", json, 400, "input"},
        {"POST", "/v1/audio/speech", speech_body(",\"voice\":\"nosuchvoice\""), json, 400, "voice"},
        {"POST", "/v1/audio/speech", speech_body(",\"voice\":\"en, rdn = 2\""), json, 400, "voice"},
        {"POST", "/v1/audio/speech", speech_body(",\"response_format\":\"mp4\""), json, 400, "response_format"},
        {"POST", "/v1/audio/speech", speech_body(",\"speed\":4.5"), json, 400, "speed"},
        {"POST", "/v1/audio/speech", speech_body(",\"speed\":\"fast\""), json, 400, "speed"},
        {"POST", "/v1/audio/speech", speech_body(",\"sample_rate\":22051"), json, 400, "sample_rate"},
        {"POST", "/v1/audio/speech", speech_body(",\"stream_format\":\"chunks\""), json, 400, "stream_format"},
        {"POST", "/v1/audio/speech", speech_body(",\"pitch\":101"), json, 400, "pitch"},
        {"POST", "/v1/audio/speech", speech_body(",\"volume\":-1"), json, 400, "volume"},
        {"POST", "/v1/audio/speech", speech_body(",\"rdn\":3"), json, 400, "rdn"},
        {"POST", "/v1/audio/speech", "{\"input\":\"" + std::string(101, 'a') + "\"}", json, 413, "input"},
        {"POST", "/v1/audio/speech", "{\"input\":\"" + std::string(5000, 'a') + "\"}", json, 413, ""},
        {"POST", "/v1/audio/speech", speech_body(""), "Content-Type: text/plain\r\n", 415, ""},
        {"GET", "/v1/audio/speech", "", "", 405, ""},
        {"POST", "/v1/voices", "{}", json, 405, ""},
        {"GET", "/v2/nothing", "", "", 404, ""},
        {"POST", "/v1/reading", "{\"input\":\"\"}", json, 400, "input"},
        // Invalid UTF-8 is reported on its own field; SSML the service refuses
        // is the client's fault.
        {"POST", "/v1/audio/speech", speech_body(",\"voice\":\"x\xffy\""), json, 400, "voice"},
        {"POST", "/v1/audio/speech", speech_body(",\"response_format\":\"\xc3\""), json, 400, "response_format"},
        {"POST", "/v1/audio/speech", "{\"input\":\"<speak><p>a</speak>\"}", json, 400, "input"},
        {"POST", "/v1/audio/speech", "{\"input\":\"<speak><break time='x'/></speak>\",\"response_format\":\"pcm\"}", json, 400, "input"},
        {"POST", "/v1/reading", "{\"input\":\"<speak>a\"}", json, 400, "input"},
    };
    for (const auto &c : cases) {
        Response r = request(server.port(), c.method, c.path, c.body, c.headers);
        EXPECT_EQ(r.status, c.status) << c.method << " " << c.path << " " << c.body.substr(0, 60) << "\n" << r.body;
        EXPECT_EQ(r.headers["content-type"], "application/json") << c.body.substr(0, 60);
        const std::string param = c.param.empty() ? "\"param\":null" : "\"param\":\"" + c.param + "\"";
        EXPECT_NE(r.body.find(param), std::string::npos) << c.body.substr(0, 60) << "\n" << r.body;
        EXPECT_NE(r.body.find("{\"error\":{\"code\":"), std::string::npos) << r.body;
    }
    EXPECT_EQ(request(server.port(), "GET", "/v1/audio/speech").headers["allow"], "POST");
    EXPECT_EQ(request(server.port(), "POST", "/healthz", "{}").headers["allow"], "GET, HEAD");
    const Response ssml = request(server.port(), "POST", "/v1/audio/speech", "{\"input\":\"<speak><p>a</speak>\"}");
    EXPECT_NE(ssml.body.find("line 1, column"), std::string::npos) << ssml.body;
}

// A failing helper's code is in the answer: 504 for one that hangs.
TEST(Server, EngineFailuresAnswerWithTheServiceCode) {
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"hang.sh", 504, "21017"}, {"hang_half_way.sh", 504, "21017"}, {"fail.sh", 500, "21015"}, {"crash.sh", 500, "21016"}};
    for (const auto &[helper, status, code] : cases) {
        ServerProcess server({}, {"SPEECH_SERVICE_ENGINE=" + kHelpers + "/" + helper, "SPEECH_SERVICE_ENGINE_TIMEOUT_MS=300"});
        for (const char *format : {"wav", "pcm"}) {
            const Response r = request(server.port(), "POST", "/v1/audio/speech",
                                       speech_body(",\"response_format\":\"" + std::string(format) + "\""));
            EXPECT_EQ(r.status, status) << helper << " " << format << " " << r.body;
            EXPECT_NE(r.body.find("\"code\":" + code), std::string::npos) << r.body;
        }
    }
}

TEST(Server, VoicesReadingAndProbes) {
    ServerProcess server;
    const Response voices = request(server.port(), "GET", "/v1/voices");
    EXPECT_EQ(voices.status, 200);
    EXPECT_EQ(voices.body.rfind("{\"voices\":[{\"language\":\"cmn-latn-pinyin\",\"name\":\"xiaoxin\"}", 0), 0u) << voices.body.substr(0, 100);
    const Response reading = request(server.port(), "POST", "/v1/reading", "{\"input\":\"銀行2个\"}");
    EXPECT_EQ(reading.body, "{\"tokens\":[{\"reading\":\"yin2 hang2\",\"text\":\"銀行\"},{\"reading\":\"liang3\",\"text\":\"2\"},"
                            "{\"reading\":\"ge4\",\"text\":\"个\"}],\"voice\":\"xiaoxin\"}\n");
    EXPECT_EQ(request(server.port(), "GET", "/healthz").status, 200);
    EXPECT_EQ(request(server.port(), "GET", "/readyz").status, 200);
    request(server.port(), "POST", "/v1/audio/speech", speech_body(""));
    const std::string metrics = request(server.port(), "GET", "/metrics").body;
    for (const char *line : {"tts_requests_total{protocol=\"http\",route=\"/v1/audio/speech\",status=\"200\"} 1\n",
                             "tts_requests_total{protocol=\"http\",route=\"/v1/voices\",status=\"200\"} 1\n",
                             "tts_request_duration_seconds_count 5\n", "tts_queue_depth 0\n", "tts_workers_busy 0\n",
                             "tts_helpers_busy 0\n", "tts_audio_seconds_total 1."})
        EXPECT_NE(metrics.find(line), std::string::npos) << line << "\n" << metrics;
}

TEST(Server, TokenIsAskedOnEveryRouteButHealthz) {
    const std::string file = testing::TempDir() + "/tts-server-token";
    std::ofstream(file) << "s3cret\n";
    ServerProcess server({"--token-file", file});
    const std::string json = "Content-Type: application/json\r\n";
    EXPECT_EQ(request(server.port(), "GET", "/healthz").status, 200);
    EXPECT_EQ(request(server.port(), "GET", "/readyz").status, 401);
    EXPECT_EQ(request(server.port(), "GET", "/metrics", "", "Authorization: Bearer s3cre\r\n").status, 401);
    EXPECT_EQ(request(server.port(), "GET", "/metrics", "", "Authorization: Bearer s3cret!\r\n").status, 401);
    EXPECT_EQ(request(server.port(), "POST", "/v1/audio/speech", speech_body(""), json).status, 401);
    EXPECT_EQ(request(server.port(), "POST", "/v1/audio/speech", speech_body(""), json + "Authorization: Bearer s3cret\r\n").status, 200);
    // The scheme is case-insensitive.
    EXPECT_EQ(request(server.port(), "GET", "/metrics", "", "Authorization: bearer s3cret\r\n").status, 200);
    EXPECT_EQ(request(server.port(), "GET", "/metrics", "", "Authorization: BEARER  s3cret\r\n").status, 200);
}

// One worker, one place in the queue: the third request at once gets 503.
TEST(Server, FullQueueAnswers503WithRetryAfter) {
    ServerProcess server({"--workers", "1", "--queue", "1"},
                         {"SPEECH_SERVICE_ENGINE=" + kHelpers + "/hang.sh", "SPEECH_SERVICE_ENGINE_TIMEOUT_MS=2000"});
    std::vector<std::future<Response>> held;
    for (int i = 0; i < 2; ++i) {
        held.push_back(std::async(std::launch::async, [&] { return request(server.port(), "POST", "/v1/audio/speech", speech_body("")); }));
        ASSERT_TRUE(eventually([&] { return request(server.port(), "GET", "/metrics").body.find(i == 0 ? "tts_workers_busy 1" : "tts_queue_depth 1") != std::string::npos; }, 3000));
    }
    const Response refused = request(server.port(), "POST", "/v1/audio/speech", speech_body(""));
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.headers.at("retry-after"), "1");
    EXPECT_EQ(request(server.port(), "GET", "/readyz").status, 503);
    for (auto &f : held) EXPECT_EQ(f.get().status, 504);
    EXPECT_EQ(request(server.port(), "GET", "/readyz").status, 200);
}

// Hostile clients get an answer or a closed connection, and the server
// goes on serving.
TEST(Server, HostileClientsDoNotHurtTheServer) {
    ServerProcess server;
    const std::string body = speech_body("");
    const std::string post = "POST /v1/audio/speech HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Type: application/json\r\n";
    struct Case {
        const char *what;
        std::string bytes;
        int status;  // 0: none, the connection just ends
    };
    const std::vector<Case> cases = {
        {"truncated headers", "POST /v1/audio/speech HTTP/1.1\r\nHost: x\r\nContent-Ty", 0},
        {"oversized header", "GET /healthz HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(40000, 'a') + "\r\n\r\n", 431},
        {"short body", post + "Content-Length: 1000\r\n\r\n" + body, 0},
        {"garbage request line", "\x01\x02 nothing\r\n\r\n", 400},
        {"chunked body", post + "Transfer-Encoding: chunked\r\n\r\n5\r\n{\"inp\r\n" +
                             [&] { std::ostringstream s; s << std::hex << body.size() - 5; return s.str(); }() + "\r\n" +
                             body.substr(5) + "\r\n0\r\n\r\n", 200},
        {"chunked body over the limit", post + "Transfer-Encoding: chunked\r\n\r\n30000\r\n" + std::string(0x30000, ' ') +
                                            "\r\n10000\r\n" + std::string(0x10000, ' ') + "\r\n0\r\n\r\n", 413},
        {"bad chunk size", post + "Transfer-Encoding: chunked\r\n\r\nzz\r\n{}\r\n0\r\n\r\n", 400},
        // Framing that two readers could take differently is refused.
        {"two Content-Lengths", post + "Content-Length: " + std::to_string(body.size()) + "\r\nContent-Length: 5\r\n\r\n" + body, 400},
        {"a Content-Length list", post + "Content-Length: 5, " + std::to_string(body.size()) + "\r\n\r\n" + body, 400},
        {"Content-Length and chunked", post + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n{\"inp\r\n0\r\n\r\n", 400},
        {"GET with two Content-Lengths", "GET /healthz HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc", 400},
        {"a coding other than chunked", post + "Transfer-Encoding: gzip, chunked\r\n\r\n5\r\n{\"inp\r\n0\r\n\r\n", 501},
        {"identity coding", post + "Transfer-Encoding: identity\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body, 400},
        // Bytes that are not UTF-8 in the URL are echoed escaped.
        {"invalid UTF-8 in the URL", "GET /%ff%0a%1b[31m HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 404},
    };
    for (const auto &c : cases) {
        Connection conn(server.port());
        conn.send(c.bytes);
        if (c.status == 0) shutdown(conn.fd(), SHUT_WR);
        const Response r = server_test::parse_response(conn.read_all(15000));
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(request(server.port(), "GET", "/healthz").status, 200) << "after " << c.what;
    }
    // A chunked body without end is cut off once well past the limit.
    Connection endless(server.port());
    endless.send(post + "Transfer-Encoding: chunked\r\n\r\n");
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 8 && endless.send("30000\r\n" + std::string(0x30000, ' ') + "\r\n"); ++i) {
    }
    endless.read_all(5000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4)) << "the server kept reading";
}

// Slow clients that never finish their headers hold a connection each, but
// no worker: a normal client is served meanwhile.
TEST(Server, SlowConnectionsLeaveNormalClientsServed) {
    ServerProcess server({"--workers", "1"});
    std::vector<std::unique_ptr<Connection>> slow;
    for (int i = 0; i < 100; ++i) {
        slow.push_back(std::make_unique<Connection>(server.port()));
        slow.back()->send("POST /v1/audio/speech HTTP/1.1\r\nHost: x\r\n");
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(request(server.port(), "POST", "/v1/audio/speech", speech_body("")).status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

// A client gone mid-stream ends its session and its helper at once, and
// leaves no descriptor behind.
TEST(Server, DisconnectMidStreamEndsTheHelper) {
    ServerProcess server({"--max-text", "400000", "--max-audio-seconds", "86400"}, {"SPEECH_SERVICE_WARM_ENGINE=0"});
    const unsigned fds = server.descriptors();
    std::string text;
    while (text.size() < 300000) text += "春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。";
    Connection conn(server.port());
    const std::string body = "{\"input\":\"" + text + "\",\"response_format\":\"pcm\"}";
    conn.send("POST /v1/audio/speech HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: " +
              std::to_string(body.size()) + "\r\n\r\n" + body);
    ASSERT_GT(conn.read_some(100000).size(), 50000u);
    ASSERT_EQ(server.helpers(), 1u);
    conn.close();
    EXPECT_TRUE(eventually([&] { return server.helpers() == 0; }, 1000)) << "the helper still runs";
    EXPECT_TRUE(eventually([&] { return server.descriptors() == fds; }, 1000)) << server.descriptors() << " against " << fds;
}

// Minutes of audio for one request, under way.
std::future<Response> long_pcm_request(const ServerProcess &server) {
    return std::async(std::launch::async, [port = server.port()] {
        std::string text;
        while (text.size() < 30000) text += "春眠不觉晓，处处闻啼鸟。";
        return request(port, "POST", "/v1/audio/speech",
                       "{\"input\":\"" + text + "\",\"response_format\":\"pcm\",\"sample_rate\":16000}");
    });
}

// SIGTERM: no new connections, work in flight finishes, exit 0.
TEST(Server, SigtermDrains) {
    ServerProcess server;
    auto long_one = long_pcm_request(server);
    ASSERT_TRUE(eventually([&] { return request(server.port(), "GET", "/metrics").body.find("tts_workers_busy 1") != std::string::npos; }, 3000));
    kill(server.pid(), SIGTERM);
    EXPECT_TRUE(eventually([&] { return request(server.port(), "GET", "/healthz").status == 0; }, 1000)) << "still accepting";
    EXPECT_EQ(long_one.wait_for(std::chrono::seconds(0)), std::future_status::timeout) << "the test needs a longer text";
    const Response r = long_one.get();
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.chunked_complete) << "the stream was finished";
    EXPECT_GT(r.body.size(), 10000000u);
    const int status = server.stop(0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A second signal while work drains ends the server at once, with 1.
TEST(Server, ASecondSignalEndsTheDrainAtOnce) {
    ServerProcess server;
    auto long_one = long_pcm_request(server);
    ASSERT_TRUE(eventually([&] { return request(server.port(), "GET", "/metrics").body.find("tts_workers_busy 1") != std::string::npos; }, 3000));
    kill(server.pid(), SIGTERM);
    ASSERT_TRUE(eventually([&] { return request(server.port(), "GET", "/healthz").status == 0; }, 1000));
    const auto start = std::chrono::steady_clock::now();
    const int status = server.stop(SIGINT, 10);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_FALSE(long_one.get().chunked_complete) << "the answer in flight is cut, not finished";
}

TEST(Server, CurlAndTheOfficialClientGetAudio) {
    ServerProcess server;
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port());
    const std::string wav = testing::TempDir() + "/tts-server-curl.wav";
    EXPECT_EQ(run("curl -sS --fail -o " + wav + " -w '%{http_code} %{content_type}' -H 'Content-Type: application/json' -d '" +
                  speech_body(",\"voice\":\"en\",\"speed\":1.5,\"response_format\":\"wav\"") + "' " + url + "/v1/audio/speech"),
              "200 audio/wav");
    std::ifstream in(wav, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}).substr(0, 4), "RIFF");

    if (run("test -d " SERVER_JS_DIR "/node_modules/openai && command -v node").empty()) {
        // CI installs it: there a missing client is a failure, not a skip.
        if (std::getenv("CI") != nullptr) FAIL() << "the openai package is not installed";
        GTEST_SKIP() << "the openai package is not installed (scripts/install-deps.sh installs it)";
    }
    // Each answer is checked by ffprobe in the Answers tests; here, that the
    // client gets each one with the type it expects.
    EXPECT_EQ(run("node " SERVER_JS_DIR "/speech.mjs " + url + "/v1 " + testing::TempDir() + " 2>&1"),
              "default 200 audio/mpeg\nmp3 200 audio/mpeg\nopus 200 audio/ogg\naac 200 audio/aac\nflac 200 audio/flac\n"
              "wav 200 audio/wav\npcm 200 audio/pcm\n");
    // ffmpeg decodes each to the WAV's length.
    if (run("command -v ffmpeg").empty()) return;
    const auto decoded_bytes = [](const std::string &name) {
        const std::string raw = name == "pcm" ? "-f s16le -ar 24000 -ac 1 " : "";
        return run("ffmpeg -v error " + raw + "-i " + testing::TempDir() + "/" + name + " -f s16le -ac 1 -ar 24000 - | wc -c");
    };
    const double wav_bytes = std::atof(decoded_bytes("wav").c_str());
    EXPECT_GT(wav_bytes, 24000);
    EXPECT_GT(std::atof(decoded_bytes("default").c_str()), wav_bytes) << "the default is at speed 1";
    for (const char *name : {"mp3", "opus", "aac", "flac", "pcm"})
        EXPECT_NEAR(std::atof(decoded_bytes(name).c_str()) / 48000, wav_bytes / 48000, 0.12) << name;
}

}  // namespace

namespace {

std::string long_text(std::size_t bytes) {
    std::string text;
    while (text.size() < bytes) text += "春眠不觉晓，处处闻啼鸟。";
    return text;
}

std::string raw_post(const std::string &body, const std::string &connection = "") {
    return "POST /v1/audio/speech HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n" + connection +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A client that ends its sending side once its request is sent still gets
// the whole answer, however long.
TEST(Server, HalfClosedClientGetsTheWholeAnswer) {
    ServerProcess server;
    const std::string text = long_text(900);
    for (const char *format : {"wav", "pcm"}) {
        Connection conn(server.port());
        conn.send(raw_post("{\"input\":\"" + text + "\",\"response_format\":\"" + format + "\"}"));
        shutdown(conn.fd(), SHUT_WR);
        const Response r = server_test::parse_response(conn.read_all(20000));
        ASSERT_EQ(r.status, 200) << format;
        ASSERT_GT(r.body.size(), 1000000u) << format;
        if (std::string(format) == "wav") {
            EXPECT_EQ(le32(r.body, 40), r.body.size() - 44);
        } else {
            EXPECT_TRUE(r.chunked_complete);
        }
    }
}

// What a client sends is logged and echoed with its control characters
// escaped: no forged log line, no terminal escape.
TEST(Server, ClientTextIsEscapedInTheLogAndTheAnswer) {
    const std::string log = testing::TempDir() + "/tts-server-access.log";
    ServerProcess server({"--access-log"}, ServerProcess::Setup{{}, log, 0});
    const Response r = request(server.port(), "GET", "/a%0a1.2.3.4%20%22GET%20/%22%20200%1b[31m%c2%9b");
    EXPECT_EQ(r.status, 404);
    EXPECT_NE(r.body.find(R"(/a\\x0a1.2.3.4 \"GET /\" 200\\x1b[31m\\xc2\\x9b")"), std::string::npos) << r.body;
    request(server.port(), "GET", "/healthz");
    ASSERT_EQ(server.stop(SIGTERM), 0);
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind(R"(127.0.0.1 "GET /a\x0a1.2.3.4 \x22GET /\x22 200\x1b[31m\xc2\x9b" 404 )", 0), 0u) << lines[0];
}

// Every signal that would end the process drains it and ends it with 0.
TEST(Server, TerminatingSignalsDrainAndExitZero) {
    for (const int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
        ServerProcess server;
        ASSERT_EQ(request(server.port(), "GET", "/healthz").status, 200);
        const int status = server.stop(sig, 10);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << strsignal(sig) << ": " << status;
    }
}

TEST(Server, BadListenAddressIsAUsageError) {
    for (const char *listen : {":5500", "127.0.0.1:65536", "127.0.0.1:99999", "127.0.0.1:", "127.0.0.1:-1"}) {
        ServerProcess server({"--listen", listen});
        const int status = server.stop(0, 10);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << listen << ": " << status;
    }
}

// The audio limit is refused as the client's fault, naming the limit.
TEST(Server, AudioBeyondTheLimitIsA400) {
    // A service that does not know the parameter ignores it, and would also
    // take 0, which is out of its range.
    int code = MSPLogin(nullptr, nullptr, "appid = 7e5a5e7e, work_dir = /");
    ASSERT_EQ(code, 0);
    const char *probe = QTTSSessionBegin("max_audio_seconds = 0", &code);
    QTTSSessionEnd(probe, nullptr);
    MSPLogout();
    if (code == 0) GTEST_SKIP() << "the speech service does not limit audio";
    ServerProcess server({"--max-audio-seconds", "2"});
    // Pauses are known before any audio is made: refused before a pcm stream
    // starts; a long text may be stopped when it reaches the limit, which a
    // wav answer still reports.
    const std::string pause = "<speak>一<break time='5s'/>二</speak>";
    const std::vector<std::pair<std::string, const char *>> cases = {
        {pause, "pcm"}, {pause, "wav"}, {long_text(600), "wav"}};
    for (const auto &[input, format] : cases) {
        const Response r = request(server.port(), "POST", "/v1/audio/speech",
                                   "{\"input\":\"" + input + "\",\"response_format\":\"" + format + "\"}");
        EXPECT_EQ(r.status, 400) << format << " " << r.body;
        EXPECT_NE(r.body.find("\"param\":\"input\""), std::string::npos) << r.body;
        EXPECT_NE(r.body.find("max_audio_seconds"), std::string::npos) << r.body;
        EXPECT_NE(r.body.find("2 s on this server"), std::string::npos) << r.body;
    }
    EXPECT_EQ(request(server.port(), "POST", "/v1/audio/speech", speech_body("")).status, 200);
}

// Hundreds of connections that dribble their headers (reopened as they are
// dropped) lock nobody out: probes and speech are served within seconds, and
// a dribbler is cut at the request deadline. With a limit per client, one
// client keeps no more than its share.
TEST(Server, DribblingClientsLockNobodyOut) {
    struct Case {
        std::vector<std::string> args;
        const char *attacker;  // source address
        unsigned attackers;
    };
    const std::vector<Case> cases = {
        {{"--max-connections", "64", "--request-timeout", "3"}, "127.0.0.1", 200},
        {{"--max-client-connections", "8", "--request-timeout", "3"}, "127.0.0.2", 100},
    };
    for (const auto &c : cases) {
        ServerProcess server(c.args);
        std::atomic<bool> stop{false};
        std::atomic<unsigned> last_open{0};  // of the attacker's, in its last full round
        std::thread attack([&] {
            std::vector<std::unique_ptr<Connection>> conns(c.attackers);
            const std::string line = "GET /healthz HTTP/1.1\r\nHost: x\r\nX-Slow: ";
            for (std::size_t round = 0; !stop; ++round) {
                unsigned open = 0;
                bool full_round = true;
                for (auto &conn : conns) {
                    if (stop) {
                        full_round = false;
                        break;
                    }
                    char probe;
                    // Reopen what the server closed.
                    if (conn == nullptr || conn->fd() < 0 || recv(conn->fd(), &probe, 1, MSG_DONTWAIT) == 0) {
                        conn = std::make_unique<Connection>(server.port(), c.attacker);
                        conn->send(line.substr(0, 1));
                    } else {
                        ++open;
                        conn->send(line.substr(round % line.size(), 1));
                    }
                }
                if (full_round && round > 0) last_open = open;
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            }
        });
        std::this_thread::sleep_for(std::chrono::seconds(2));
        for (int i = 0; i < 4; ++i) {
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(request(server.port(), "GET", "/healthz").status, 200) << c.args[0];
            EXPECT_EQ(request(server.port(), "POST", "/v1/audio/speech", speech_body("")).status, 200) << c.args[0];
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.args[0];
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        stop = true;
        attack.join();
        // Alone, a dribbler is cut at the deadline.
        Connection slow(server.port(), c.attacker);
        const auto start = std::chrono::steady_clock::now();
        slow.send("G");
        for (int i = 0; i < 40 && slow.send("E"); ++i) {
            char probe;
            if (recv(slow.fd(), &probe, 1, MSG_DONTWAIT) == 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4500)) << c.args[0];
        const std::string metrics = request(server.port(), "GET", "/metrics").body;
        EXPECT_EQ(metrics.find("tts_connections_dropped_total{reason=\"deadline\"} 0\n"), std::string::npos) << metrics;
        EXPECT_EQ(metrics.find("tts_connections_dropped_total{reason=\"room\"} 0\n"), std::string::npos) << metrics;
        if (std::string(c.attacker) != "127.0.0.1") {
            EXPECT_LE(last_open.load(), 10u) << "one client held more than its share";
        }
    }
}

// With few descriptors left, the listening thread waits for a connection
// to close instead of spinning on accept().
TEST(Server, FewDescriptorsDoNotSpin) {
    ServerProcess server({"--workers", "1"}, ServerProcess::Setup{{}, "", 24});
    ASSERT_NE(server.port(), 0);
    std::vector<std::unique_ptr<Connection>> held;
    for (int i = 0; i < 30; ++i) held.push_back(std::make_unique<Connection>(server.port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double before = server.cpu_seconds();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_LT(server.cpu_seconds() - before, 0.3);
    held.clear();
    // Served again once they are gone (a connection or two at a time).
    EXPECT_TRUE(eventually([&] { return request(server.port(), "GET", "/healthz").status == 200; }, 5000));
    EXPECT_TRUE(eventually([&] { return request(server.port(), "POST", "/v1/audio/speech", speech_body("")).status == 200; }, 5000));
}

}  // namespace
