// SPDX-License-Identifier: Apache-2.0
// tts-say --server against a real tts-server: the same WAV and dialogue as
// a local run, and the failures a client meets.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "console.h"
#include "fake_http_server.h"
#include "server_process.h"
#include "server_request.h"
#include "speech_request.h"

namespace {

using server_test::FakeHttpServer;
using server_test::http_response;
using server_test::ScriptedReply;
using server_test::ServerProcess;

struct SayRun {
    int exit_code;
    std::string out, err, wav;
};

// tts-say with `args` (shell words) and `env`, writing out.wav in a fresh
// folder of the test where an old out.wav is first.
SayRun tts_say(const std::string &env, const std::string &args) {
    const std::string dir =
        testing::TempDir() + "/tts-say-client-" + testing::UnitTest::GetInstance()->current_test_info()->name();
    std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "' && printf old > '" + dir + "/out.wav'").c_str());
    const std::string cmd = "cd '" + dir + "' && env -u TTS_SERVER -u TTS_SERVER_TOKEN " + env + " '" TTS_SAY "' -o out.wav " +
                            args + " < /dev/null > stdout.txt 2> stderr.txt";
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing_support::read_file(dir + "/stdout.txt"), testing_support::read_file(dir + "/stderr.txt"),
            testing_support::read_file(dir + "/out.wav")};
}

std::string without_marks(std::string s) {
    s.erase(std::remove(s.begin(), s.end(), '>'), s.end());
    return s;
}

TEST(TtsSayClient, EveryServiceSpeedSurvivesTheRoundTripThroughTheServersScale) {
    for (int s = 0; s <= 100; ++s) EXPECT_EQ(tts_server::service_speed(tts_say::api_speed(s)), static_cast<unsigned>(s));
}

TEST(TtsSayClient, WritesTheSameWavAndDialogueAsALocalRun) {
    ServerProcess server;
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port());
    const struct {
        const char *env, *args;
    } cases[] = {
        {"", "'你好，今天是2026年12月8日。'"},
        {"", "-s 37 -p 80 -a 20 --rdn 1 '电话是12345。'"},
        {"", "-r 8000 -s 0 -v xiaoxin hello"},
        {"", "-s 100 -q '速度最快。'"},
        {"SPEECH_SERVICE_SESSION_PARAMS='speed = 70, rdn = 0'", "-a 90 '第3章，共12页。'"},
        {"", "-f /dev/null"},  // empty: an empty WAV, made here (the server takes no empty input)
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args);
        const SayRun local = tts_say(c.env, c.args);
        const SayRun remote = tts_say(c.env, std::string("--server ") + url + " " + c.args);
        ASSERT_EQ(local.exit_code, 0) << local.err;
        EXPECT_EQ(remote.exit_code, 0) << remote.err;
        EXPECT_GT(local.wav.size(), 43u);
        EXPECT_TRUE(local.wav == remote.wav) << local.wav.size() << " bytes here, " << remote.wav.size() << " from the server";
        EXPECT_EQ(without_marks(local.out), remote.out);
        EXPECT_EQ(local.err, remote.err);
    }
}

TEST(TtsSayClient, FailuresExitOneWithTheReasonAndLeaveTheOutputAsItWas) {
    const std::string token_file = testing::TempDir() + "/tts-say-client-token";
    std::ofstream(token_file) << "s3cret\n";
    // The same token as tts-server reads it: blanks around it, a second line.
    const std::string padded_token_file = testing::TempDir() + "/tts-say-client-padded-token";
    std::ofstream(padded_token_file) << " \ts3cret \r\nsecond line\n";
    ServerProcess server({"--token-file", token_file, "--max-text", "20"});
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port());
    const struct {
        std::string env, args, reason;
    } failures[] = {
        {"", "--server http://127.0.0.1:1 hi", "cannot reach the server at http://127.0.0.1:1: "},
        {"TTS_SERVER=http://127.0.0.1:1", "hi", "cannot reach the server at http://127.0.0.1:1: "},
        {"", "--server " + url + " hi", "answered 401: a valid bearer token is required"},
        {"TTS_SERVER_TOKEN=wrong", "--server " + url + " hi", "answered 401: a valid bearer token is required"},
        {"TTS_SERVER_TOKEN=s3cret", "--server " + url + " '这句话比二十个字节长得多。'", "answered 413: input: the text is longer"},
        {"", "--server " + url + " --server-token-file /nonexistent hi", "cannot read token file /nonexistent: "},
    };
    for (const auto &f : failures) {
        SCOPED_TRACE(f.args);
        const SayRun r = tts_say(f.env, f.args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find("tts-say: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(f.reason), std::string::npos) << r.err;
        EXPECT_EQ(r.wav, "old");
    }
    const struct {
        std::string env, args;
    } successes[] = {
        {"TTS_SERVER_TOKEN=s3cret", "--server " + url + " hi"},
        {"TTS_SERVER_TOKEN=wrong", "--server " + url + " --server-token-file " + token_file + " hi"},
        {"TTS_SERVER=http://127.0.0.1:1", "--server " + url + " --server-token-file " + token_file + " hi"},
        {"", "--server " + url + " --server-token-file " + padded_token_file + " hi"},
    };
    for (const auto &s : successes) {
        SCOPED_TRACE(s.env + " " + s.args);
        const SayRun r = tts_say(s.env, s.args);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.wav.substr(0, 4), "RIFF");
    }
    for (const char *args : {"--ssml '<speak>hi</speak>'", "--batch /dev/null"}) {
        const SayRun refused = tts_say("", "--server " + url + " " + args);
        EXPECT_EQ(refused.exit_code, 2) << args;
        EXPECT_NE(refused.err.find("not with --server"), std::string::npos) << refused.err;
    }
}

// A WAV of `data_bytes` of silence at `rate` whose header states the
// sizes given (0: the true ones).
std::string wav_of(int rate, std::uint32_t data_bytes, std::uint32_t riff_size = 0, std::uint32_t data_size = 0) {
    const auto le32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    };
    return "RIFF" + le32(riff_size != 0 ? riff_size : 36 + data_bytes) + "WAVEfmt " + le32(16) +
           std::string("\x01\x00\x01\x00", 4) + le32(static_cast<std::uint32_t>(rate)) +
           le32(static_cast<std::uint32_t>(rate) * 2) + std::string("\x02\x00\x10\x00", 4) + "data" +
           le32(data_size != 0 ? data_size : data_bytes) + std::string(data_bytes, '\0');
}

// What a 200 holds decides: only a whole WAV of the asked format replaces
// the output; a streamed WAV (sizes 0xFFFFFFFF) that ended whole is kept
// with its sizes filled in.
TEST(TtsSayClient, OnlyAWholeWavOfTheAskedFormatReplacesTheOutput) {
    const std::string ok = wav_of(16000, 640);
    const std::string chunked = "Transfer-Encoding: chunked\r\n";
    const std::string streamed = wav_of(16000, 640, 0xFFFFFFFF, 0xFFFFFFFF);
    const struct {
        const char *name;
        std::string reply;
        std::string wav;  // empty: refused
    } cases[] = {
        {"a proxy's login page", http_response("200 OK", "<html><body>Please log in</body></html>", "Content-Type: text/html\r\n"), ""},
        {"an empty body", http_response("200 OK", ""), ""},
        {"a header that claims twice the data", http_response("200 OK", wav_of(16000, 640, 0, 1280)), ""},
        {"a RIFF size that is not the body's", http_response("200 OK", wav_of(16000, 640, 1000)), ""},
        {"only a header", http_response("200 OK", ok.substr(0, 40)), ""},
        {"another sample rate", http_response("200 OK", wav_of(8000, 640)), ""},
        {"half a sample", http_response("200 OK", wav_of(16000, 641)), ""},
        {"a whole WAV", http_response("200 OK", ok), ok},
        {"a streamed WAV",
         http_response("200 OK", "64\r\n" + streamed.substr(0, 100) + "\r\n248\r\n" + streamed.substr(100) + "\r\n0\r\n\r\n", chunked), ok},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeHttpServer fake({{c.reply}});
        const SayRun r = tts_say("", "--server " + fake.url() + " -q hi");
        if (c.wav.empty()) {
            EXPECT_EQ(r.exit_code, 1);
            EXPECT_NE(r.err.find("not a complete WAV"), std::string::npos) << r.err;
            EXPECT_EQ(r.wav, "old");
        } else {
            EXPECT_EQ(r.exit_code, 0) << r.err;
            EXPECT_TRUE(r.wav == c.wav) << r.wav.size() << " bytes";
        }
    }
}

// A server that stops sending is given up after --server-timeout; one whose
// answer is cut is reported as cut, not as unreachable.
TEST(TtsSayClient, StalledAndCutAnswersAreReportedForWhatTheyAre) {
    const std::string head_and_some = http_response("200 OK", std::string(100, 'x'), "", 1000);
    const struct {
        const char *name;
        ScriptedReply reply;
        std::string reason;
    } cases[] = {
        {"no answer at all", {"", 8000}, "sent nothing for 1 s"},
        {"an answer that stops", {head_and_some, 8000}, "sent nothing for 1 s"},
        {"an answer cut off", {head_and_some, 0}, "was cut off after 100 bytes"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeHttpServer fake({c.reply});
        const auto start = std::chrono::steady_clock::now();
        const SayRun r = tts_say("", "--server " + fake.url() + " --server-timeout 1 -q hi");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("cannot reach"), std::string::npos) << r.err;
        EXPECT_EQ(r.wav, "old");
    }
    const SayRun refused = tts_say("", "--server-timeout 0 --server http://127.0.0.1:1 hi");
    EXPECT_EQ(refused.exit_code, 2) << refused.err;
}

// 307 and 308 are followed with the same POST and body.
TEST(TtsSayClient, FollowsRedirectsThatKeepThePost) {
    for (const char *status : {"307 Temporary Redirect", "308 Permanent Redirect"}) {
        SCOPED_TRACE(status);
        const std::string wav = wav_of(16000, 320);
        FakeHttpServer moved_to({{http_response("200 OK", wav)}});
        FakeHttpServer moved_from({{http_response(status, "", "Location: " + moved_to.url() + "/new/v1/audio/speech\r\n")}});
        const SayRun r = tts_say("", "--server " + moved_from.url() + " -q hi");
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_TRUE(r.wav == wav);
        const auto requests = moved_to.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].rfind("POST /new/v1/audio/speech ", 0), 0u) << requests[0];
        EXPECT_NE(requests[0].find("\"input\":\"hi\""), std::string::npos) << requests[0];
    }
}

// Addresses and tokens that cannot make a sound request are refused before
// anything is sent: an address without a host, a token that would add
// headers of its own.
TEST(TtsSayClient, RefusesAddressesWithoutAHostAndTokensWithLineBreaks) {
    FakeHttpServer fake({{http_response("200 OK", wav_of(16000, 320))}});
    const std::string cr_token_file = testing::TempDir() + "/tts-say-client-cr-token";
    std::ofstream(cr_token_file) << "s3cret\rX-Injected: 1\n";
    const struct {
        std::string env, args, reason;
    } cases[] = {
        {"", "--server http:// hi", "is not an http or https URL with a host name"},
        {"TTS_SERVER=https://", "hi", "is not an http or https URL with a host name"},
        {"", "--server ftp://127.0.0.1/ hi", "is not an http or https URL"},
        {"TTS_SERVER_TOKEN=\"$(printf 's3cret\\r\\nX-Injected: 1')\"", "--server " + fake.url() + " hi",
         "TTS_SERVER_TOKEN holds a line break"},
        {"", "--server " + fake.url() + " --server-token-file " + cr_token_file + " hi", "holds a line break"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.env + " " + c.args);
        const SayRun r = tts_say(c.env, c.args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(r.wav, "old");
    }
    EXPECT_TRUE(fake.requests().empty()) << fake.requests()[0];
}

}  // namespace
