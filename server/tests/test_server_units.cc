// SPDX-License-Identifier: Apache-2.0
// The pieces of tts-server that need no server: speed mapping, the token
// check, the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bearer_token.h"
#include "options.h"
#include "speech_request.h"

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
        {"bearer abc123", false}, {"Basic abc123", false}, {"Bearer ", false}, {nullptr, false}};
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
    for (std::vector<std::string> bad : {std::vector<std::string>{"x", "--workers", "0"}, {"x", "--queue", "-1"},
                                         {"x", "--max-text", "1k"}, {"x", "--listen"}, {"x", "--port", "1"}}) {
        std::vector<char *> v;
        for (auto &a : bad) v.push_back(a.data());
        EXPECT_EQ(parse_options(static_cast<int>(v.size()), v.data()).index(), 1u) << bad[1];
    }
}

}  // namespace
