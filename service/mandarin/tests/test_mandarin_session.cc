// SPDX-License-Identifier: Apache-2.0
// The voice xiaoxin speaks exactly its reading: a session's audio equals
// the engine's audio for the reading, an end stops the reading of a long
// text, and a missing lexicon fails the session at its start.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "service_client.h"
#include "speech_service.h"

namespace {

using service_test::synthesize;

class MandarinSession : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(MSPLogin(nullptr, nullptr, service_test::kLogin), SPEECH_OK); }
    static void TearDownTestSuite() { MSPLogout(); }
};

std::string audio_of(const std::string &params, const std::string &text) {
    const service_test::Synthesis s = synthesize(params, text);
    EXPECT_EQ(s.begin_code, SPEECH_OK) << text;
    EXPECT_EQ(s.fetch_code, SPEECH_OK) << text;
    return s.audio;
}

TEST_F(MandarinSession, AudioIsTheEngineSpeakingTheReading) {
    const struct {
        const char *params, *text, *pinyin;
    } cases[] = {
        {"sample_rate = 8000", "银行", "yin2 hang2"},
        {"sample_rate = 8000", "銀行，2个。", "yin2 hang2， liang3 ge4。"},
        {"sample_rate = 8000, rdn = 2", "120元", "yi1 er4 ling2 yuan2"},
        {"sample_rate = 8000", "3.5%", "bai3 fen1 zhi1 san1 dian3 wu3"},
    };
    for (const auto &c : cases) {
        const std::string spoken = audio_of(std::string("voice_name = xiaoxin, ") + c.params, c.text);
        const std::string engine = audio_of(std::string("voice_name = cmn-latn-pinyin, ") + c.params, c.pinyin);
        EXPECT_FALSE(spoken.empty()) << c.text;
        EXPECT_TRUE(spoken == engine) << c.text << ": " << spoken.size() << " bytes against " << engine.size();
    }
}

TEST_F(MandarinSession, EnglishWordsAreSpokenByTheEnglishVoice) {
    const std::string mixed = audio_of("sample_rate = 8000", "OK");
    const std::string english = audio_of("voice_name = en, sample_rate = 8000", "O.K.");
    EXPECT_TRUE(mixed == english) << mixed.size() << " bytes against " << english.size();
}

TEST_F(MandarinSession, OnlyPunctuationAndEmojiIsSilent) {
    const service_test::Synthesis s = synthesize("sample_rate = 8000", "“😀”。");
    EXPECT_EQ(s.fetch_code, SPEECH_OK);
    EXPECT_LT(s.audio.size(), 8000u);  // at most a pause
}

TEST_F(MandarinSession, EndDoesNotWaitForTheReading) {
    // Most of a second of reading (the slowest shape the front end knows,
    // at about 0.3 s a megabyte on one core, as much of it as the most
    // audio a text may ask for allows): the end must stop it, not wait for it.
    std::string text;
    while (text.size() < (2800u << 10)) text += "1/";
    int code = 0;
    const char *session = QTTSSessionBegin("voice_name = xiaoxin, max_audio_seconds = 86400", &code);
    ASSERT_EQ(code, SPEECH_OK);
    ASSERT_EQ(QTTSTextPut(session, text.data(), static_cast<unsigned int>(text.size()), nullptr), SPEECH_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the reading is under way
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QTTSSessionEnd(session, ""), SPEECH_OK);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 500) << "ms to end";
}

// Run with SPEECH_SERVICE_LEXICON naming a file that does not exist.
TEST_F(MandarinSession, MissingLexicon) {
    if (std::getenv("SPEECH_SERVICE_LEXICON") == nullptr) GTEST_SKIP() << "needs SPEECH_SERVICE_LEXICON";
    int code = 0;
    EXPECT_EQ(QTTSSessionBegin("voice_name = xiaoxin", &code), nullptr);
    EXPECT_EQ(code, SPEECH_ERR_ENGINE_START);
    EXPECT_NE(std::string(speech_service_last_engine_error()).find("Mandarin lexicon"), std::string::npos);
    char *table = nullptr;
    EXPECT_EQ(speech_service_reading(nullptr, "a", 1, &table), SPEECH_ERR_ENGINE_START);
    EXPECT_EQ(table, nullptr);
    // Engine voices named directly need no lexicon.
    EXPECT_EQ(synthesize("voice_name = en, sample_rate = 8000", "ok").fetch_code, SPEECH_OK);
}

}  // namespace
