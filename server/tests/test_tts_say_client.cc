// SPDX-License-Identifier: Apache-2.0
// tts-say --server against a real tts-server: the same WAV and dialogue as
// a local run, and the failures a client meets.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "console.h"
#include "server_process.h"
#include "server_request.h"
#include "speech_request.h"

namespace {

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
        {"", "--server " + url + " --server-token-file /nonexistent hi", "cannot read /nonexistent: "},
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

}  // namespace
