// SPDX-License-Identifier: Apache-2.0
// tts-server's Wyoming side as a process, on the real service and engine,
// with a client written from the protocol's description.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "raw_http.h"
#include "server_process.h"
#include "wyoming_client.h"

namespace {

using nlohmann::json;
using server_test::AudioRound;
using server_test::eventually;
using server_test::read_round;
using server_test::request;
using server_test::ServerProcess;
using server_test::WyomingClient;

const std::string kHelpers = SPEECH_TEST_HELPERS;
const std::vector<std::string> kWyoming = {"--wyoming", "127.0.0.1:0"};

std::vector<std::string> with_wyoming(std::vector<std::string> args) {
    args.insert(args.end(), kWyoming.begin(), kWyoming.end());
    return args;
}

// The HTTP API's pcm at 16000 for `text` and `voice` ("" for the default).
std::string http_pcm(const ServerProcess &server, const std::string &text, const std::string &voice = "") {
    json body = {{"input", text}, {"response_format", "pcm"}, {"sample_rate", 16000}};
    if (!voice.empty()) body["voice"] = voice;
    const auto r = request(server.port(), "POST", "/v1/audio/speech", body.dump());
    return r.status == 200 ? r.body : "HTTP " + std::to_string(r.status) + " " + r.body;
}

std::string metrics(const ServerProcess &server) { return request(server.port(), "GET", "/metrics").body; }

TEST(Wyoming, DescribeListsTheHttpVoicesEachWithAttributionAndLanguages) {
    ServerProcess server(kWyoming);
    ASSERT_GT(server.wyoming_port(), 0) << server.wyoming_line();
    EXPECT_EQ(server.wyoming_line(), "tts-server: wyoming on tcp://127.0.0.1:" + std::to_string(server.wyoming_port()));
    WyomingClient client(server.wyoming_port());
    client.send("describe");
    const auto info = client.next();
    ASSERT_TRUE(info && info->type == "info");
    ASSERT_EQ(info->data["tts"].size(), 1u);
    const json &program = info->data["tts"][0];
    EXPECT_EQ(program["name"], "tts");
    EXPECT_EQ(program["supports_synthesize_streaming"], true);
    EXPECT_EQ(program["installed"], true);
    EXPECT_TRUE(program["attribution"]["name"].is_string() && program["attribution"]["url"].is_string());

    const json http = json::parse(request(server.port(), "GET", "/v1/voices").body)["voices"];
    ASSERT_EQ(program["voices"].size(), http.size());
    std::map<std::string, json> languages;
    for (std::size_t i = 0; i < http.size(); ++i) {
        const json &v = program["voices"][i];
        EXPECT_EQ(v["name"], http[i]["name"]);
        EXPECT_FALSE(v["attribution"]["name"].get<std::string>().empty()) << v;
        EXPECT_FALSE(v["attribution"]["url"].get<std::string>().empty()) << v;
        EXPECT_EQ(v["installed"], true);
        EXPECT_FALSE(v["languages"].empty()) << v;
        languages[v["name"]] = v["languages"];
    }
    EXPECT_EQ(languages["xiaoxin"], json({"zh_CN", "zh_TW", "zh_SG"}));
    EXPECT_EQ(languages["en-US"], json({"en_US"}));
    EXPECT_EQ(languages["en"], json({"en_GB"}));
    EXPECT_EQ(languages["es-419"], json({"es_419"}));
}

// By name, by language, with no voice, and SSML: one round, the HTTP
// API's pcm samples exactly.
TEST(Wyoming, SynthesizeGivesTheHttpPcmSamples) {
    ServerProcess server(kWyoming);
    struct Case {
        json voice;
        std::string text, http_voice;
    };
    const std::vector<Case> cases = {
        {json(), "你好，世界。", ""},
        {{{"name", "xiaoxin"}}, "银行行长。", "xiaoxin"},
        {{{"name", "en-US"}, {"speaker", "any"}}, "Hello world.", "en-US"},
        {{{"language", "zh_CN"}}, "今天天气很好。", "xiaoxin"},
        {{{"language", "en_US"}}, "Good morning.", "en-US"},
        {{{"language", "fr_FR"}}, "Bonjour.", "fr"},
        {{{"name", "xiaoxin"}}, "<speak>你好<break time=\"300ms\"/>世界</speak>", "xiaoxin"},
    };
    WyomingClient client(server.wyoming_port());
    for (const auto &c : cases) {
        json data = {{"text", c.text}};
        if (!c.voice.is_null()) data["voice"] = c.voice;
        client.send("synthesize", data);
        const AudioRound round = read_round(client);
        ASSERT_EQ(round.error, "") << c.voice;
        EXPECT_EQ(round.format, json({{"rate", 16000}, {"width", 2}, {"channels", 1}}));
        EXPECT_TRUE(round.chunk_formats_agree);
        EXPECT_GT(round.audio.size(), 8000u) << c.voice;
        EXPECT_TRUE(round.audio == http_pcm(server, c.text, c.http_voice)) << c.voice << " " << c.text;
    }
    EXPECT_NE(metrics(server).find("tts_requests_total{protocol=\"wyoming\",route=\"synthesize\",status=\"ok\"} 7\n"),
              std::string::npos);
}

// The streaming flow: each sentence is spoken as soon as it is complete,
// the synthesize sent for older clients is not spoken again, and the stop
// is answered with synthesize-stopped.
TEST(Wyoming, StreamingSpeaksEachSentenceOnceAsSoonAsItIsComplete) {
    ServerProcess server(kWyoming);
    const std::string first = "今天天气很好。";
    const std::string second = "我们去公园吧！";
    const std::string third = "Then home.";
    WyomingClient client(server.wyoming_port());
    client.send("synthesize-start", {{"voice", {{"name", "xiaoxin"}}}});
    // The first sentence is complete once what follows it has begun.
    const std::string text = first + second + third;
    client.send("synthesize-chunk", {{"text", ""}});
    // A JSON string must be valid UTF-8: the cuts are on characters here,
    // the splitter's own test cuts bytes.
    client.send("synthesize-chunk", {{"text", first.substr(0, 9)}});
    client.send("synthesize-chunk", {{"text", first.substr(9) + second.substr(0, 3)}});
    const AudioRound one = read_round(client);
    ASSERT_EQ(one.error, "");
    EXPECT_TRUE(one.audio == http_pcm(server, first, "xiaoxin")) << "the first sentence, before the rest is sent";
    client.send("synthesize-chunk", {{"text", second.substr(3) + " " + third}});
    client.send("synthesize", {{"text", text}});
    client.send("synthesize-stop");
    const AudioRound two = read_round(client);
    const AudioRound three = read_round(client);
    EXPECT_TRUE(two.audio == http_pcm(server, second, "xiaoxin"));
    EXPECT_TRUE(three.audio == http_pcm(server, " " + third, "xiaoxin"));
    const auto stopped = client.next();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->type, "synthesize-stopped");
    // Nothing more: the whole text is not spoken a second time.
    client.send("describe");
    const auto after = client.next();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->type, "info");
}

// A refusal is an error event with its code; the connection goes on.
TEST(Wyoming, RefusalsAreErrorEventsAndTheConnectionGoesOn) {
    ServerProcess server(with_wyoming({"--max-text", "100"}));
    struct Case {
        std::vector<std::pair<std::string, json>> events;
        std::string code;
    };
    const std::string long_text(101, 'a');
    const std::vector<Case> cases = {
        {{{"synthesize", {{"text", long_text}}}}, "text_too_long"},
        {{{"synthesize", {{"text", "hi"}, {"voice", {{"name", "nosuchvoice"}}}}}}, "unknown_voice"},
        {{{"synthesize", {{"text", "hi"}, {"voice", {{"name", "en, rdn = 2"}}}}}}, "unknown_voice"},
        {{{"synthesize", {{"text", "hi"}, {"voice", {{"language", "xx_XX"}}}}}}, "unknown_language"},
        {{{"synthesize", {{"text", "hi"}, {"voice", "en"}}}}, "malformed_event"},
        {{{"synthesize", json::object()}}, "malformed_event"},
        {{{"synthesize", {{"text", ""}}}}, "invalid_text"},
        {{{"synthesize", {{"text", std::string("a\0b", 3)}}}}, "invalid_text"},
        {{{"synthesize-start", json::object()}, {"synthesize-chunk", {{"text", std::string(60, 'a')}}},
          {"synthesize-chunk", {{"text", std::string(60, 'a')}}}}, "text_too_long"},
        {{{"synthesize-start", {{"voice", {{"name", "nosuchvoice"}}}}}}, "unknown_voice"},
        {{{"synthesize-chunk", {{"text", "a"}}}}, "unexpected_event"},
    };
    WyomingClient client(server.wyoming_port());
    for (const auto &c : cases) {
        for (const auto &[type, data] : c.events) client.send(type, data);
        const auto e = client.next();
        ASSERT_TRUE(e) << c.code;
        EXPECT_EQ(e->type, "error") << c.code;
        EXPECT_EQ(e->data.value("code", ""), c.code);
        EXPECT_FALSE(e->data.value("text", "").empty());
        if (c.events.front().first == "synthesize-start") {
            // The rest of a refused stream is ignored; its stop is answered.
            client.send("synthesize-chunk", {{"text", "Ignored. More."}});
            client.send("synthesize", {{"text", "Ignored."}});
            client.send("synthesize-stop");
            const auto stopped = client.next();
            ASSERT_TRUE(stopped);
            EXPECT_EQ(stopped->type, "synthesize-stopped") << stopped->data;
        }
        client.send("describe");
        const auto info = client.next();
        ASSERT_TRUE(info) << "after " << c.code;
        EXPECT_EQ(info->type, "info");
    }
}

// Bytes that are no event, and lengths over the limits, are refused at
// once (nothing waits for or allocates the announced bytes), and the
// connection is closed; the server goes on.
TEST(Wyoming, GarbageAndHugeLengthsCloseTheConnection) {
    ServerProcess server(with_wyoming({"--max-text", "1000"}));
    const std::vector<std::pair<const char *, std::string>> cases = {
        {"not JSON", "garbage\n"},
        {"not an object", "[1,2]\n"},
        {"no type", "{\"data\":{}}\n"},
        {"data not an object", "{\"type\":\"describe\",\"data\":[1]}\n"},
        {"huge data_length", "{\"type\":\"synthesize\",\"data_length\":1099511627776}\n"},
        {"data_length over the limit", "{\"type\":\"synthesize\",\"data_length\":10000000}\n{"},
        {"huge payload_length", "{\"type\":\"audio-chunk\",\"payload_length\":18446744073709551615}\n"},
        {"negative length", "{\"type\":\"describe\",\"data_length\":-5}\n"},
        {"fractional length", "{\"type\":\"describe\",\"data_length\":1.5}\n"},
        {"data not JSON", "{\"type\":\"describe\",\"data_length\":3}\nabc"},
        {"endless header line", std::string(2000000, 'a')},
    };
    for (const auto &[what, bytes] : cases) {
        WyomingClient client(server.wyoming_port());
        client.send_raw(bytes);
        const auto e = client.next(5000);
        ASSERT_TRUE(e) << what;
        EXPECT_EQ(e->type, "error") << what;
        EXPECT_EQ(e->data.value("code", ""), "malformed_event") << what;
        EXPECT_TRUE(client.closed()) << what;
    }
    WyomingClient after(server.wyoming_port());
    after.send("describe");
    EXPECT_EQ(after.next()->type, "info");
}

// Connections beyond the limit get server_busy and are closed; a freed
// place is taken again.
TEST(Wyoming, ConnectionsBeyondTheLimitAreTurnedAway) {
    ServerProcess server(kWyoming);
    std::vector<std::unique_ptr<WyomingClient>> held;
    for (int i = 0; i < 64; ++i) {
        held.push_back(std::make_unique<WyomingClient>(server.wyoming_port()));
        held.back()->send("describe");
        ASSERT_TRUE(held.back()->next()) << i;
    }
    WyomingClient extra(server.wyoming_port());
    const auto e = extra.next();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->data.value("code", ""), "server_busy");
    EXPECT_TRUE(extra.closed());
    held.pop_back();
    EXPECT_TRUE(eventually([&] {
        WyomingClient again(server.wyoming_port());
        again.send("describe");
        const auto info = again.next(500);
        return info && info->type == "info";
    }, 3000));
}

// A client gone mid-audio ends its session and helper at once, and leaves
// no descriptor behind.
TEST(Wyoming, DisconnectMidAudioEndsTheHelper) {
    ServerProcess server(with_wyoming({"--max-text", "400000", "--max-audio-seconds", "86400"}), {"SPEECH_SERVICE_WARM_ENGINE=0"});
    const unsigned fds = server.descriptors();
    std::string text;
    while (text.size() < 300000) text += "春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。";
    {
        WyomingClient client(server.wyoming_port());
        client.send("synthesize", {{"text", text}});
        std::size_t audio = 0;
        while (audio < 100000) {
            const auto e = client.next();
            ASSERT_TRUE(e);
            audio += e->payload.size();
        }
        ASSERT_EQ(server.helpers(), 1u);
    }
    EXPECT_TRUE(eventually([&] { return server.helpers() == 0; }, 1000)) << "the helper still runs";
    EXPECT_TRUE(eventually([&] { return server.descriptors() == fds; }, 1000)) << server.descriptors() << " against " << fds;
    EXPECT_NE(metrics(server).find("tts_requests_total{protocol=\"wyoming\",route=\"synthesize\",status=\"client_gone\"} 1\n"),
              std::string::npos);
}

// Eight clients at once on two workers: each gets its own text's samples.
TEST(Wyoming, EightClientsAtOnceEachGetTheirOwnAudio) {
    ServerProcess server(with_wyoming({"--workers", "2", "--queue", "8"}));
    std::vector<std::string> texts, expected;
    for (int i = 0; i < 8; ++i) {
        texts.push_back("第" + std::to_string(i + 1) + "个客户，你好。");
        expected.push_back(http_pcm(server, texts.back()));
    }
    std::vector<std::future<AudioRound>> rounds;
    for (int i = 0; i < 8; ++i)
        rounds.push_back(std::async(std::launch::async, [&, i] {
            WyomingClient client(server.wyoming_port());
            client.send("synthesize", {{"text", texts[static_cast<std::size_t>(i)]}});
            return read_round(client);
        }));
    for (std::size_t i = 0; i < 8; ++i) {
        const AudioRound r = rounds[i].get();
        EXPECT_EQ(r.error, "") << i;
        EXPECT_TRUE(r.audio == expected[i]) << i;
    }
}

// One worker, one place in the queue, both held by HTTP: Wyoming is refused
// with a retry hint, as HTTP answers 503.
TEST(Wyoming, FullQueueIsAnErrorWithARetryHint) {
    ServerProcess server(with_wyoming({"--workers", "1", "--queue", "1"}),
                         {"SPEECH_SERVICE_ENGINE=" + kHelpers + "/hang.sh", "SPEECH_SERVICE_ENGINE_TIMEOUT_MS=2000"});
    std::vector<std::future<server_test::Response>> held;
    for (int i = 0; i < 2; ++i) {
        held.push_back(std::async(std::launch::async, [&] {
            return request(server.port(), "POST", "/v1/audio/speech", "{\"input\":\"你好\"}");
        }));
        ASSERT_TRUE(eventually([&] { return metrics(server).find(i == 0 ? "tts_workers_busy 1" : "tts_queue_depth 1") != std::string::npos; }, 3000));
    }
    WyomingClient client(server.wyoming_port());
    client.send("synthesize", {{"text", "你好"}});
    const auto e = client.next();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->type, "error");
    EXPECT_EQ(e->data.value("code", ""), "server_busy");
    EXPECT_EQ(e->data.value("retry_after", 0), 1);
    for (auto &f : held) f.get();
    EXPECT_NE(metrics(server).find("tts_requests_total{protocol=\"wyoming\",route=\"synthesize\",status=\"server_busy\"} 1\n"),
              std::string::npos);
}

// SIGTERM: idle connections are closed and no new ones accepted, audio in
// flight is finished, exit 0.
TEST(Wyoming, SigtermDrains) {
    ServerProcess server(kWyoming);
    std::string text;
    while (text.size() < 30000) text += "春眠不觉晓，处处闻啼鸟。";
    WyomingClient idle(server.wyoming_port());
    idle.send("describe");
    ASSERT_TRUE(idle.next());
    WyomingClient busy(server.wyoming_port());
    busy.send("synthesize", {{"text", text}});
    const auto start = busy.next();
    ASSERT_TRUE(start && start->type == "audio-start");
    kill(server.pid(), SIGTERM);
    EXPECT_TRUE(idle.closed(2000)) << "the idle connection was kept";
    EXPECT_TRUE(eventually([&] { return WyomingClient(server.wyoming_port()).connection().fd() < 0; }, 1000)) << "still accepting";
    std::size_t audio = 0;
    std::optional<server_test::WyomingEvent> e;
    while ((e = busy.next()) && e->type == "audio-chunk") audio += e->payload.size();
    ASSERT_TRUE(e) << "the round was cut after " << audio << " bytes";
    EXPECT_EQ(e->type, "audio-stop");
    EXPECT_GT(audio, 10000000u);
    EXPECT_TRUE(busy.closed(30000)) << "closed once its work is done";
    const int status = server.stop(0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
