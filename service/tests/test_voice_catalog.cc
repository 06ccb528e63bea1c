// SPDX-License-Identifier: Apache-2.0
// The voice catalogue against the engine's real data and against a made-up
// data folder with an add-on synthesiser, and the host's session defaults.
#include <espeak-ng/speak_lib.h>
#include <espeak-ng/espeak_ng.h>
#include <gtest/gtest.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "session_config.h"
#include "speech_service.h"
#include "voice_catalog.h"

namespace {

namespace fs = std::filesystem;

void put(const fs::path &file, const std::string &text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

TEST(VoiceCatalog, AcceptsWhatTheEngineLoadsAndRefusesTheRest) {
    const speech::VoiceCatalog &c = speech::engine_voices();
    const std::vector<std::pair<const char *, bool>> cases = {
        {"cmn-latn-pinyin", true}, {"CMN-Latn-Pinyin", true}, {"en", true},  {"EN-us", true},
        {"yue", true},             {"de", true},              {"fr", true},  {"Romanian", true},
        {"Alex", false},           {"alex", false},           {"klatt", false}, {"whisper", false},
        {"mb-de1", false},         {"mb-en1", false},         {"german-mbrola-1", false},
        {"zh", false},             {"Klingon", true},        {"", false},   {"en+f3", false},
        {"gmw/en", false},         {"../lang/gmw/en", false}, {"Mr serious", false}, {"nosuchvoice", false},
    };
    for (const auto &c_case : cases) EXPECT_EQ(c.accepts(c_case.first), c_case.second) << c_case.first;
    for (const char *refused : {"Alex", "mb-de1"}) {
        speech::SessionConfig config;
        EXPECT_EQ(speech::parse_session_config((std::string("voice_name = ") + refused).c_str(), config),
                  SPEECH_ERR_UNKNOWN_VOICE);
    }
}

// Every voice offered must load and speak in the engine itself.
TEST(VoiceCatalog, EveryOfferedVoiceLoadsAndSpeaksInTheEngine) {
    ASSERT_GT(espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0), 0);
    espeak_SetSynthCallback([](short *, int, espeak_EVENT *) { return 0; });
    const auto &voices = speech::engine_voices().voices();
    ASSERT_GT(voices.size(), 50u);
    for (const auto &v : voices) {
        EXPECT_EQ(espeak_ng_SetVoiceByName(v.name.c_str()), ENS_OK) << v.name;
        EXPECT_EQ(espeak_Synth("1", 2, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr), EE_OK) << v.name;
    }
    espeak_Terminate();
}

TEST(VoiceCatalog, ListsTheServiceVoiceFirstThenTheEngineVoicesByName) {
    char *list = nullptr;
    ASSERT_EQ(speech_service_voices(&list), SPEECH_OK);
    ASSERT_NE(list, nullptr);
    const std::string text = list;
    speech_service_free(list);
    EXPECT_EQ(text.rfind("xiaoxin\tcmn-latn-pinyin\n", 0), 0u);
    EXPECT_NE(text.find("\nen\ten-gb\n"), std::string::npos);
    EXPECT_EQ(text.find("Alex"), std::string::npos);
    EXPECT_EQ(text.find("mb-"), std::string::npos);
    std::istringstream lines(text);
    std::string line, previous;
    std::getline(lines, line);  // xiaoxin
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        const std::string name = line.substr(0, line.find('\t'));
        EXPECT_TRUE(speech::engine_voices().accepts(name)) << line;
        EXPECT_NE(line.find('\t'), std::string::npos) << line;
        if (!previous.empty()) {
            EXPECT_LT(strcasecmp(previous.c_str(), name.c_str()), 0) << line;
        }
        previous = name;
    }
    EXPECT_EQ(count, static_cast<int>(speech::engine_voices().voices().size()));
    EXPECT_EQ(speech_service_voices(nullptr), SPEECH_ERR_NULL_ARGUMENT);
}

// A data folder with a language, a variant, a name clash and an add-on
// voice, whose program and data are installed step by step.
class MadeUpData : public testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("voice_catalog_" + std::to_string(::getpid()));
        places_ = {root_ / "data", root_ / "addon", (root_ / "bin").string()};
        put(root_ / "data/lang/x/aa", "name Solo\nlanguage aa\n");
        put(root_ / "data/lang/x/dup", "name Dup language\nlanguage dp\n");
        put(root_ / "data/voices/!v/dup", "language variant\nname Other\n");
        put(root_ / "data/voices/!v/Bob", "language variant\nname Bob\n");
        put(root_ / "data/voices/mb/mb-zz1", "name zz-addon\nlanguage zz 6 // comment\nmbrola zz1 zz1_phtrans\n");
        put(root_ / "data/mbrola_ph/zz1_phtrans", "table");
    }
    void TearDown() override { fs::remove_all(root_); }
    void install_program() {
        put(root_ / "bin/mbrola", "#!/bin/sh\n");
        ::chmod((root_ / "bin/mbrola").c_str(), 0755);
    }
    fs::path root_;
    speech::VoicePlaces places_;
};

TEST_F(MadeUpData, AddOnVoicesSpeakOnlyWithTheirProgramAndData) {
    const std::vector<std::pair<const char *, bool>> always = {
        {"aa", true}, {"AA", true}, {"Solo", true}, {"Bob", false}, {"Other", false}, {"dup", false}, {"x", false}};
    for (int step = 0; step < 4; ++step) {
        const bool program = step & 1, data = step & 2;
        fs::remove_all(root_ / "bin");
        fs::remove_all(root_ / "addon");
        if (program) install_program();
        if (data) put(root_ / "addon/zz1/zz1", "voice data");
        const speech::VoiceCatalog c(places_);
        for (const auto &a : always) EXPECT_EQ(c.accepts(a.first), a.second) << a.first << " step " << step;
        EXPECT_EQ(c.accepts("mb-zz1"), program && data) << step;
        EXPECT_EQ(c.accepts("zz-addon"), program && data) << step;
        EXPECT_EQ(c.voices().size(), program && data ? 2u : 1u);
    }
    const speech::VoiceCatalog c(places_);
    EXPECT_EQ(c.listing(), "aa\taa\nmb-zz1\tzz\n") << "no service voice without the Mandarin file";
}

TEST(HostSessionParams, TakePrecedenceAndAreValidatedLikeTheSessionsOwn) {
    const char *library = "voice_name = xiaoxin, sample_rate = 16000, speed = 50, volume = 50, pitch = 50, rdn = 2";
    speech::SessionConfig c;
    ASSERT_EQ(speech::parse_session_config(library, "voice_name = en, speed = 70, sample_rate = 8000, rdn = 0", c),
              SPEECH_OK);
    EXPECT_EQ(c.engine_voice, "en");
    EXPECT_EQ(c.speed, 70);
    EXPECT_EQ(c.sample_rate, 8000);
    EXPECT_EQ(c.rdn, 0);
    EXPECT_EQ(c.pitch, 50) << "what the host leaves out stays the session's";
    ASSERT_EQ(speech::parse_session_config(library, "  ", c), SPEECH_OK);
    EXPECT_EQ(c.engine_voice, "cmn-latn-pinyin");

    const std::vector<std::pair<const char *, int>> bad = {
        {"speed = 101", SPEECH_ERR_OUT_OF_RANGE},      {"speed", SPEECH_ERR_MALFORMED_PARAMS},
        {"voice_name = Alex", SPEECH_ERR_UNKNOWN_VOICE}, {"sample_rate = 44100", SPEECH_ERR_BAD_SAMPLE_RATE},
        {"text_encoding = gbk", SPEECH_ERR_BAD_ENCODING}, {"rdn = 3,", SPEECH_ERR_MALFORMED_PARAMS},
    };
    for (const auto &b : bad) EXPECT_EQ(speech::parse_session_config(library, b.first, c), b.second) << b.first;
}

TEST(HostSessionParams, AreReadFromTheEnvironmentAtEverySessionBegin) {
    ASSERT_EQ(MSPLogin(nullptr, nullptr, "appid = 7c2e94b0, work_dir = ."), SPEECH_OK);
    int code = -1;
    ::setenv(speech::kHostSessionParamsEnv, "speed = 500", 1);
    EXPECT_EQ(QTTSSessionBegin("speed = 50", &code), nullptr);
    EXPECT_EQ(code, SPEECH_ERR_OUT_OF_RANGE);
    ::setenv(speech::kHostSessionParamsEnv, "voice_name = mb-de1", 1);
    EXPECT_EQ(QTTSSessionBegin("", &code), nullptr);
    EXPECT_EQ(code, SPEECH_ERR_UNKNOWN_VOICE);
    ::unsetenv(speech::kHostSessionParamsEnv);
    const char *session = QTTSSessionBegin("speed = 50", &code);
    EXPECT_EQ(code, SPEECH_OK);
    EXPECT_EQ(QTTSSessionEnd(session, "Normal"), SPEECH_OK);
    EXPECT_EQ(MSPLogout(), SPEECH_OK);
}

}  // namespace
