// SPDX-License-Identifier: Apache-2.0
// The service on the real engine, through libspeech_service.so: login,
// parameters, handles, texts, the audio itself, concurrency, and helpers
// that crash, hang, fail or write garbage.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "service_client.h"
#include "speech_service.h"

using service_test::resources;
using service_test::synthesize;

namespace {

const std::string kSession = "voice_name = xiaoxin, text_encoding = utf8, sample_rate = 16000, speed = 50, "
                             "volume = 50, pitch = 50, rdn = 0";

class Service : public ::testing::Test {
  protected:
    // A ready helper left unused ends soon, so that what a test leaves
    // behind can be checked.
    void SetUp() override {
        setenv("SPEECH_SERVICE_WARM_IDLE_MS", "200", 1);
        ASSERT_EQ(MSPLogin(nullptr, nullptr, service_test::kLogin), SPEECH_OK);
    }
    void TearDown() override {
        EXPECT_EQ(MSPLogout(), SPEECH_OK);
        service_test::reset_engine();
        unsetenv("SPEECH_SERVICE_WARM_IDLE_MS");
    }
};

TEST(Login, ChecksItsParametersAndCountsLogins) {
    const std::vector<std::pair<const char *, int>> cases = {
        {nullptr, SPEECH_ERR_NULL_ARGUMENT},
        {"work_dir = .", SPEECH_ERR_BAD_APPID},
        {"appid = 7C2E94B0, work_dir = .", SPEECH_ERR_BAD_APPID},
        {"appid = 7c2e94b, work_dir = .", SPEECH_ERR_BAD_APPID},
        {"appid = 7c2e94b0", SPEECH_ERR_BAD_WORK_DIR},
        {"appid = 7c2e94b0, work_dir = /no/such/dir", SPEECH_ERR_BAD_WORK_DIR},
        {"appid = 7c2e94b0 work_dir = .", SPEECH_ERR_MALFORMED_PARAMS},
    };
    for (const auto &[params, code] : cases) EXPECT_EQ(MSPLogin(nullptr, nullptr, params), code);
    EXPECT_EQ(MSPLogout(), SPEECH_ERR_NOT_LOGGED_IN) << "failed logins are not counted";
    int code = 0;
    EXPECT_EQ(QTTSSessionBegin(kSession.c_str(), &code), nullptr);
    EXPECT_EQ(code, SPEECH_ERR_NOT_LOGGED_IN);

    ASSERT_EQ(MSPLogin("u", "p", "appid=0123abcd,work_dir=/"), SPEECH_OK);
    ASSERT_EQ(MSPLogin(nullptr, nullptr, service_test::kLogin), SPEECH_OK);
    EXPECT_EQ(MSPLogout(), SPEECH_OK);
    EXPECT_EQ(MSPLogout(), SPEECH_OK);
    EXPECT_EQ(MSPLogout(), SPEECH_ERR_NOT_LOGGED_IN);
}

TEST_F(Service, BadSessionParametersBeginNoSessionAndStartNoHelper) {
    ASSERT_FALSE(service_test::settled_resources().children);
    for (const char *params : {"voice_name = nosuchvoice", "sample_rate = 44100", "speed = 200", "rdn"}) {
        int code = 0;
        EXPECT_EQ(QTTSSessionBegin(params, &code), nullptr) << params;
        EXPECT_NE(code, SPEECH_OK);
    }
    EXPECT_FALSE(resources().children);
    const char *h = QTTSSessionBegin(kSession.c_str(), nullptr);
    EXPECT_NE(h, nullptr) << "a null code slot is allowed";
    EXPECT_EQ(QTTSSessionEnd(h, "Normal"), SPEECH_OK);
}

TEST_F(Service, BadHandlesAreRefusedNeverFollowed) {
    int code = 0;
    const char *h = QTTSSessionBegin(kSession.c_str(), &code);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(QTTSSessionEnd(h, "Normal"), SPEECH_OK);
    const std::string foreign = "tts-session-1";
    for (const char *bad : {static_cast<const char *>(nullptr), h, foreign.c_str()}) {
        unsigned len = 99;
        int status = 0, fetch_code = 0;
        EXPECT_EQ(QTTSTextPut(bad, "a", 1, nullptr), SPEECH_ERR_INVALID_HANDLE);
        EXPECT_EQ(QTTSAudioGet(bad, &len, &status, &fetch_code), nullptr);
        EXPECT_EQ(fetch_code, SPEECH_ERR_INVALID_HANDLE);
        EXPECT_EQ(len, 0u);
        EXPECT_EQ(QTTSSessionEnd(bad, "Normal"), SPEECH_ERR_INVALID_HANDLE);
    }
}

// The calls on the null handle of a failed begin give the begin's reason,
// to the thread that began, until the null handle is ended.
TEST_F(Service, TheNullHandleOfAFailedBeginCarriesItsReason) {
    struct Case {
        const char *params;
        const char *engine;  // null: the real helper
        int code;
    };
    for (const Case &c : {Case{"voice_name = nosuchvoice", nullptr, SPEECH_ERR_UNKNOWN_VOICE},
                          Case{"rate = 7, speed = 101", nullptr, SPEECH_ERR_OUT_OF_RANGE},
                          Case{kSession.c_str(), "/no/such/helper", SPEECH_ERR_ENGINE_START}}) {
        SCOPED_TRACE(c.params);
        if (c.engine != nullptr) service_test::set_engine(c.engine, "400");
        int code = 0;
        ASSERT_EQ(QTTSSessionBegin(c.params, &code), nullptr);
        service_test::reset_engine();
        EXPECT_EQ(code, c.code);
        unsigned len = 7;
        int status = 0, fetch_code = 0;
        EXPECT_EQ(QTTSTextPut(nullptr, "a", 1, nullptr), c.code);
        EXPECT_EQ(QTTSAudioGet(nullptr, &len, &status, &fetch_code), nullptr);
        EXPECT_EQ(fetch_code, c.code);
        EXPECT_EQ(len, 0u);
        EXPECT_NE(status, 2);
        std::thread([] { EXPECT_EQ(QTTSTextPut(nullptr, "a", 1, nullptr), SPEECH_ERR_INVALID_HANDLE); }).join();
        EXPECT_EQ(QTTSSessionEnd(nullptr, "Normal"), c.code);
        EXPECT_EQ(QTTSSessionEnd(nullptr, "Normal"), SPEECH_ERR_INVALID_HANDLE) << "ended";
    }
    // A later successful begin leaves the null handle a bad handle again.
    int code = 0;
    ASSERT_EQ(QTTSSessionBegin("voice_name = nosuchvoice", &code), nullptr);
    const char *h = QTTSSessionBegin(kSession.c_str(), &code);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(QTTSTextPut(nullptr, "a", 1, nullptr), SPEECH_ERR_INVALID_HANDLE);
    EXPECT_EQ(QTTSSessionEnd(h, "Normal"), SPEECH_OK);
}

// Bounds too large for the clock arithmetic are clamped, not overflowed
// into a session that times out at once.
TEST_F(Service, HugeEngineTimeoutsStillSpeak) {
    for (const char *ms : {"9223372036854775807", "99999999999999999999", "100000000000000"}) {
        service_test::set_engine("", ms);
        const auto s = synthesize(kSession, "你好");
        EXPECT_EQ(s.fetch_code, SPEECH_OK) << ms;
        EXPECT_GT(s.audio.size(), 8000u);
    }
}

TEST_F(Service, TextRulesInvalidSecondMissingAndEmpty) {
    const auto invalid = synthesize(kSession, "ab\xC0\xAF");
    EXPECT_EQ(invalid.put_code, SPEECH_ERR_INVALID_TEXT);
    EXPECT_EQ(invalid.fetch_code, SPEECH_ERR_INVALID_TEXT);

    const auto empty = synthesize(kSession, "");
    EXPECT_EQ(empty.fetch_code, SPEECH_OK);
    EXPECT_EQ(empty.fetches, 1) << "status 2 at once";
    EXPECT_TRUE(empty.audio.empty());

    int code = 0;
    const char *h = QTTSSessionBegin(kSession.c_str(), &code);
    unsigned len = 0;
    int status = 0;
    QTTSAudioGet(h, &len, &status, &code);
    EXPECT_EQ(code, SPEECH_ERR_NO_TEXT);
    EXPECT_EQ(QTTSTextPut(h, "你好", 6, nullptr), SPEECH_OK);
    EXPECT_EQ(QTTSTextPut(h, "again", 5, nullptr), SPEECH_ERR_TEXT_ALREADY_PUT);
    std::string audio;
    do {
        const void *b = QTTSAudioGet(h, &len, &status, &code);
        if (b != nullptr) audio.append(static_cast<const char *>(b), len);
    } while (code == 0 && status != 2);
    EXPECT_EQ(code, SPEECH_OK) << "the first text is still spoken";
    EXPECT_GT(audio.size(), 16000u);
    EXPECT_EQ(QTTSSessionEnd(h, "Normal"), SPEECH_OK);
}

TEST_F(Service, AudioLengthFollowsRateSpeedAndDigitReading) {
    const std::string text = "今天天气很好。";
    const auto normal = synthesize(kSession, text);
    ASSERT_EQ(normal.fetch_code, SPEECH_OK);
    const double seconds = normal.audio.size() / 32000.0;
    EXPECT_GT(seconds, 0.8);
    EXPECT_LT(seconds, 5.0);
    EXPECT_EQ(normal.audio.size() % 2, 0u);
    EXPECT_EQ(synthesize(kSession, text).audio, normal.audio) << "the same text gives the same bytes";

    const auto low_rate = synthesize("sample_rate = 8000", text);
    EXPECT_NEAR(static_cast<double>(low_rate.audio.size()) / normal.audio.size(), 0.5, 0.01);

    const auto slow = synthesize("speed = 0", text).audio.size();
    const auto fast = synthesize("speed = 100", text).audio.size();
    EXPECT_GT(slow, normal.audio.size());
    EXPECT_LT(fast, normal.audio.size());

    // Digits read one by one are what the engine says for the spaced digits.
    const auto digits = synthesize("rdn = 2", "1234567").audio;
    const auto value = synthesize("rdn = 1", "1234567").audio;
    EXPECT_NE(digits, value);
    EXPECT_EQ(digits, synthesize("rdn = 1", "1 2 3 4 5 6 7").audio);
}

TEST_F(Service, ConcurrentSessionsGiveTheSameBytesAsOneAtATime) {
    const std::vector<std::string> texts = {"你好，世界。", "Hello there.", "一二三四五六七八九十", "春眠不觉晓"};
    std::vector<std::string> alone;
    for (const auto &t : texts) alone.push_back(synthesize(kSession, t).audio);
    std::vector<std::string> together(texts.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < texts.size(); ++i)
        threads.emplace_back([&, i] { together[i] = synthesize(kSession, texts[i]).audio; });
    for (auto &t : threads) t.join();
    EXPECT_EQ(together, alone);
}

TEST_F(Service, BrokenHelpersFailTheSessionAndLeaveNothingBehind) {
    const auto before = service_test::settled_resources();
    // No helper started ahead of need: one starting in the background would
    // read the environment while the next case sets it.
    setenv("SPEECH_SERVICE_WARM_ENGINE", "0", 1);
    const std::string dir = SPEECH_TEST_HELPERS;
    const std::vector<std::pair<std::string, int>> cases = {
        {dir + "/crash.sh", SPEECH_ERR_ENGINE_CRASHED},
        {dir + "/fail.sh", SPEECH_ERR_ENGINE_FAILED},
        {dir + "/garbage.sh", SPEECH_ERR_ENGINE_OUTPUT},
        {dir + "/odd.sh", SPEECH_ERR_ENGINE_OUTPUT},
        {dir + "/hang.sh", SPEECH_ERR_ENGINE_TIMEOUT},
        {dir + "/hang_half_way.sh", SPEECH_ERR_ENGINE_TIMEOUT},
    };
    for (const auto &[program, code] : cases) {
        service_test::with_engine(program, [&, program = program, code = code] {
            const auto s = synthesize(kSession, "你好");
            EXPECT_EQ(s.begin_code, SPEECH_OK);
            EXPECT_EQ(s.fetch_code, code) << program;
            EXPECT_EQ(s.end_code, SPEECH_OK);
        });
    }
    service_test::with_engine("/no/such/helper", [] {
        EXPECT_EQ(synthesize(kSession, "你好").begin_code, SPEECH_ERR_ENGINE_START);
    });

    // Ending a session kills a helper that still runs, its children too.
    service_test::with_engine(dir + "/hang.sh", [] {
        int code = 0;
        const char *h = QTTSSessionBegin(kSession.c_str(), &code);
        QTTSTextPut(h, "a", 1, nullptr);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(QTTSSessionEnd(h, "Normal"), SPEECH_OK);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    });

    unsetenv("SPEECH_SERVICE_WARM_ENGINE");
    const auto after = service_test::resources_once_idle(before);
    EXPECT_EQ(after.fds, before.fds);
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_FALSE(after.children);
}

}  // namespace

namespace {

TEST(LoginState, LogoutLeavesRunningSessionsAndRefusesNewOnes) {
    ASSERT_EQ(MSPLogin(nullptr, nullptr, service_test::kLogin), SPEECH_OK);
    int code = -1;
    const char *h = QTTSSessionBegin(kSession.c_str(), &code);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(MSPLogout(), SPEECH_OK);
    EXPECT_EQ(QTTSSessionBegin(kSession.c_str(), &code), nullptr);
    EXPECT_EQ(code, SPEECH_ERR_NOT_LOGGED_IN);
    EXPECT_EQ(MSPLogout(), SPEECH_ERR_NOT_LOGGED_IN);
    EXPECT_EQ(QTTSTextPut(h, "你好", 6, nullptr), SPEECH_OK) << "a begun session runs to its end";
    unsigned len = 0;
    int status = 0;
    do {
        QTTSAudioGet(h, &len, &status, &code);
    } while (code == 0 && status != 2);
    EXPECT_EQ(code, SPEECH_OK);
    EXPECT_EQ(QTTSSessionEnd(h, "Normal"), SPEECH_OK);
}

TEST(LoginState, LoginsAndLogoutsFromTwoThreadsBalance) {
    auto churn = [] {
        for (int i = 0; i < 500; ++i) {
            EXPECT_EQ(MSPLogin(nullptr, nullptr, service_test::kLogin), SPEECH_OK);
            EXPECT_EQ(MSPLogout(), SPEECH_OK);
        }
    };
    std::thread a(churn), b(churn);
    a.join();
    b.join();
    EXPECT_EQ(MSPLogout(), SPEECH_ERR_NOT_LOGGED_IN);
}

TEST_F(Service, MadeUpPointersAndNullOutParametersAreRefused) {
    const char *made_up = reinterpret_cast<const char *>(static_cast<std::uintptr_t>(0x10));
    int code = 0;
    unsigned len = 0;
    int status = 0;
    EXPECT_EQ(QTTSAudioGet(made_up, &len, &status, &code), nullptr);
    EXPECT_EQ(code, SPEECH_ERR_INVALID_HANDLE);
    EXPECT_EQ(QTTSSessionEnd(made_up, nullptr), SPEECH_ERR_INVALID_HANDLE);
    const char *h = QTTSSessionBegin(kSession.c_str(), &code);
    EXPECT_EQ(QTTSTextPut(h, nullptr, 5, nullptr), SPEECH_ERR_NULL_ARGUMENT);
    EXPECT_EQ(QTTSAudioGet(h, nullptr, &status, &code), nullptr);
    EXPECT_EQ(code, SPEECH_ERR_NULL_ARGUMENT);
    EXPECT_EQ(QTTSAudioGet(h, &len, nullptr, nullptr), nullptr) << "no code slot: nothing stored, no crash";
    EXPECT_EQ(QTTSSessionEnd(h, nullptr), SPEECH_OK);
}

}  // namespace
