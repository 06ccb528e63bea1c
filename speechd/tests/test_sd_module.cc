// SPDX-License-Identifier: Apache-2.0
// sd_tts as a process on the real service and engine, driven the way
// speech-dispatcher drives it.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <thread>

#include "module_process.h"
#include "speech_service.h"

namespace sd_tts::test {
namespace {

constexpr const char *kSentence = "<speak>你好，欢迎使用离线语音合成。</speak>";

std::string speak(ModuleProcess &m, const std::string &command, const std::string &message) {
    m.send(command + "\n" + message + "\n.\n");
    std::string reply;
    if (!m.line(reply) || reply != "202 OK RECEIVING MESSAGE" || !m.line(reply)) return reply;
    return reply;
}

// The same text through the service in this process.
std::string direct(const std::string &params, const std::string &text) {
    if (MSPLogin(nullptr, nullptr, "appid = 0badcafe, work_dir = /") != SPEECH_OK) return "";
    int code = 0;
    const char *s = QTTSSessionBegin(params.c_str(), &code);
    std::string pcm;
    if (s != nullptr && QTTSTextPut(s, text.data(), static_cast<unsigned>(text.size()), nullptr) == SPEECH_OK) {
        int status = 1;
        while (status != 2 && code == SPEECH_OK) {
            unsigned len = 0;
            const void *b = QTTSAudioGet(s, &len, &status, &code);
            if (b != nullptr) pcm.append(static_cast<const char *>(b), len);
        }
    }
    QTTSSessionEnd(s, nullptr);
    MSPLogout();
    return pcm;
}

std::string long_text() {
    std::string text = "<speak>";
    for (int i = 0; i < 60; ++i) text += "今天天气很好，我们一起去公园散步，看看湖边的花和树。";
    return text + "</speak>";
}

double seconds(const std::string &pcm) { return static_cast<double>(pcm.size()) / 2 / 16000; }

TEST(Module, ListsOurVoicesMandarinFirst) {
    ModuleProcess m;
    ASSERT_TRUE(m.handshake());
    m.send("LIST VOICES\n");
    const auto lines = m.until("200 ");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "200-xiaoxin\tzh\tcmn");
    EXPECT_EQ(lines.back(), "200 OK VOICE LIST SENT");
    bool english = false;
    for (const std::string &l : lines) english = english || l.rfind("200-en\t", 0) == 0;
    EXPECT_TRUE(english);
}

TEST(Module, SpeaksMandarinAsTheServiceDoes) {
    ModuleProcess m;
    ASSERT_TRUE(m.handshake());
    ASSERT_EQ(speak(m, "SPEAK", kSentence), "200 OK SPEAKING");
    const auto events = m.events();
    EXPECT_EQ(shape_of(events), "701 705 702");
    const std::string expected = direct(
        "voice_name = xiaoxin, text_encoding = utf8, sample_rate = 16000, speed = 50, pitch = 50, volume = 50, "
        "text_type = ssml",
        kSentence);
    ASSERT_GT(seconds(expected), 1.0);
    EXPECT_EQ(audio_of(events).size(), expected.size());
    EXPECT_TRUE(audio_of(events) == expected);
    // Short blocks, so that the server can stop between them.
    for (const Event &e : events) EXPECT_LE(e.pcm.size(), 16000u * 2 / 10);
}

TEST(Module, MarksFollowTheAudioBeforeThemInOrder) {
    ModuleProcess m;
    ASSERT_TRUE(m.handshake());
    ASSERT_EQ(speak(m, "SPEAK",
                    "<speak>第一句话。<mark name=\"__spd_0\"/>第二句话。<mark name=\"b\"/>"
                    "<mark name=\"c\"/>第三句话。</speak>"),
              "200 OK SPEAKING");
    const auto events = m.events();
    EXPECT_EQ(shape_of(events), "701 705 700 705 700 700 705 702");
    EXPECT_EQ(marks_of(events), (std::vector<std::string>{"__spd_0", "b", "c"}));
}

TEST(Module, StopEndsTheSynthesisAtOnce) {
    ModuleProcess m;
    ASSERT_TRUE(m.handshake());
    ASSERT_EQ(speak(m, "SPEAK", long_text()), "200 OK SPEAKING");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto sent = std::chrono::steady_clock::now();
    m.send("STOP\n");
    const auto events = m.events(5000);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().code, "703");
    EXPECT_LT(ms, 3000);  // not the minutes the whole text takes
    // Far less than the whole text's minutes of audio.
    const std::string whole = direct(
        "voice_name = xiaoxin, text_encoding = utf8, sample_rate = 16000, speed = 50, pitch = 50, volume = 50",
        long_text());
    EXPECT_LT(seconds(audio_of(events)), seconds(whole) / 2);
    ASSERT_EQ(speak(m, "SPEAK", kSentence), "200 OK SPEAKING");
    EXPECT_EQ(shape_of(m.events()), "701 705 702");
}

// A STOP that lands between a fetch and the use of its block, held open
// for a while here, must not leave the block to a session already ended.
TEST(Module, StopBetweenAFetchAndItsBlockIsSafe) {
    ModuleProcess m({}, {"SD_TTS_TEST_FETCH_DELAY_MS=1500"});
    ASSERT_TRUE(m.handshake());
    ASSERT_EQ(speak(m, "SPEAK", long_text()), "200 OK SPEAKING");
    // The first block's audio, then quiet: the next block is being held.
    std::string l;
    bool audio = false;
    while (m.line(l, audio ? 300 : 10000)) audio = audio || l.rfind("705-AUDIO", 0) == 0;
    ASSERT_TRUE(audio);
    m.send("STOP\n");
    const auto events = m.events(5000);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().code, "703");
    ASSERT_EQ(speak(m, "SPEAK", kSentence), "200 OK SPEAKING");
    EXPECT_EQ(m.events().back().code, "702");
}

TEST(Module, StopDoesNotWaitForAStuckEngine) {
    ModuleProcess m({}, {"SPEECH_SERVICE_ENGINE=" SPEECH_TEST_HELPERS "/hang.sh", "SPEECH_SERVICE_WARM_ENGINE=0"});
    ASSERT_TRUE(m.handshake());
    ASSERT_EQ(speak(m, "SPEAK", kSentence), "200 OK SPEAKING");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto sent = std::chrono::steady_clock::now();
    m.send("STOP\n");
    const auto events = m.events(5000);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count();
    EXPECT_EQ(shape_of(events), "701 703");
    EXPECT_LT(ms, 3000);  // the helper never answers
}

TEST(Module, ASpeakWhileSpeakingEndsTheFirstBeforeItIsAcknowledged) {
    ModuleProcess m;
    ASSERT_TRUE(m.handshake());
    ASSERT_EQ(speak(m, "SPEAK", long_text()), "200 OK SPEAKING");
    m.send("SPEAK\n" + std::string(kSentence) + "\n.\n");
    const auto first = m.events();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.back().code, "703");
    std::string line;
    ASSERT_TRUE(m.line(line));
    EXPECT_EQ(line, "202 OK RECEIVING MESSAGE");
    ASSERT_TRUE(m.line(line));
    EXPECT_EQ(line, "200 OK SPEAKING");
    EXPECT_EQ(shape_of(m.events()), "701 705 702");
}

TEST(Module, PauseStopsAtTheNextMark) {
    ModuleProcess m;
    ASSERT_TRUE(m.handshake());
    ASSERT_EQ(speak(m, "SPEAK",
                    "<speak>今天天气很好，我们一起去公园散步。<mark name=\"__spd_0\"/>第二句。<mark name=\"__spd_1\"/>"
                    "第三句。</speak>"),
              "200 OK SPEAKING");
    m.send("PAUSE\n");
    const auto events = m.events();
    EXPECT_EQ(shape_of(events), "701 705 700 704");
    EXPECT_EQ(marks_of(events), std::vector<std::string>{"__spd_0"});
}

TEST(Module, RateAndVolumeChangeTheAudio) {
    ModuleProcess m;
    ASSERT_TRUE(m.handshake());
    auto take = [&](const std::string &set) {
        m.send("SET\n" + set + "\n.\n");
        m.until("203 OK SETTINGS");
        speak(m, "SPEAK", kSentence);
        return audio_of(m.events());
    };
    const std::string normal = take("rate=0\nvolume=0");
    const std::string fast = take("rate=80\nvolume=0");
    const std::string quiet = take("rate=0\nvolume=-80");
    ASSERT_GT(seconds(normal), 1.0);
    EXPECT_LT(seconds(fast), 0.8 * seconds(normal));
    EXPECT_LT(rms(quiet), 0.4 * rms(normal));
    EXPECT_GT(rms(quiet), 0);
}

TEST(Module, CharKeyAndEnglishSpeak) {
    ModuleProcess m;
    ASSERT_TRUE(m.handshake());
    struct Case {
        const char *language;
        const char *command;
        const char *message;
    };
    const Case cases[] = {
        {"zh", "CHAR", "行"}, {"zh", "CHAR", "a"},       {"zh", "CHAR", ","},
        {"zh", "KEY", "space"}, {"en", "KEY", "shift_a"}, {"en", "CHAR", "<speak>?</speak>"},
        {"en", "SPEAK", "<speak>Hello, this is English.</speak>"},
    };
    for (const Case &c : cases) {
        m.send(std::string("SET\nlanguage=") + c.language + "\n.\n");
        m.until("203 OK SETTINGS");
        ASSERT_EQ(speak(m, c.command, c.message), "200 OK SPEAKING") << c.message;
        const auto events = m.events();
        EXPECT_EQ(shape_of(events), "701 705 702") << c.command << " " << c.message;
        EXPECT_GT(seconds(audio_of(events)), 0.1) << c.command << " " << c.message;
    }
    m.send("SOUND_ICON\nmessage\n.\n");
    m.until("200 OK");
    const auto icon = m.events();
    EXPECT_EQ(shape_of(icon), "701 706 702");
}

TEST(Module, MalformedInputNeverKillsIt) {
    ModuleProcess m;
    ASSERT_TRUE(m.handshake());
    m.send("BLAH\n\x01\x02\xff\n");
    EXPECT_EQ(m.until("300").back(), "300 ERR UNKNOWN COMMAND");
    m.send("SET\nrate=zzz\n=\nlanguage\n.\n");
    EXPECT_EQ(m.until("203 OK SETTINGS").back(), "203 OK SETTINGS RECEIVED");
    const std::string bad[] = {"<speak>半个 <b", std::string("<speak>a\0b</speak>", 18), "<speak></speak>",
                               "<speak><mark name=\"only\"/></speak>"};
    for (const std::string &message : bad) {
        ASSERT_EQ(speak(m, "SPEAK", message), "200 OK SPEAKING");
        const auto events = m.events();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.front().code, "701");
        EXPECT_EQ(events.back().code, "702");
    }
    m.send("SPEAK\n" + std::string(6u << 20, 'x') + "\n.\n");
    EXPECT_EQ(m.until("301").back(), "301 ERR MESSAGE TOO LONG");
    ASSERT_EQ(speak(m, "SPEAK", kSentence), "200 OK SPEAKING");
    EXPECT_EQ(shape_of(m.events()), "701 705 702");
    m.send("QUIT\n");
    EXPECT_EQ(m.until("210").back(), "210 OK QUIT");
    EXPECT_EQ(m.wait_exit(10000), 0);
}

std::vector<pid_t> children(pid_t parent) {
    std::vector<pid_t> out;
    DIR *d = opendir(("/proc/" + std::to_string(parent) + "/task").c_str());
    if (d == nullptr) return out;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        std::ifstream f("/proc/" + std::to_string(parent) + "/task/" + e->d_name + "/children");
        pid_t pid;
        while (f >> pid) out.push_back(pid);
    }
    closedir(d);
    return out;
}

TEST(Module, ACrashedEngineIsRestartedBehindIt) {
    ModuleProcess m;
    ASSERT_TRUE(m.handshake());
    ASSERT_EQ(speak(m, "SPEAK", long_text()), "200 OK SPEAKING");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto helpers = children(m.pid());
    ASSERT_FALSE(helpers.empty());
    for (const pid_t pid : helpers) kill(pid, SIGKILL);
    const auto events = m.events();
    ASSERT_FALSE(events.empty());
    // A new helper takes the stretch up where the killed one left it.
    EXPECT_EQ(events.back().code, "702");
    const std::string whole = direct(
        "voice_name = xiaoxin, text_encoding = utf8, sample_rate = 16000, speed = 50, pitch = 50, volume = 50",
        long_text());
    const std::string heard = audio_of(events);
    EXPECT_EQ(heard.size(), whole.size());
    EXPECT_TRUE(heard == whole);
    ASSERT_EQ(speak(m, "SPEAK", kSentence), "200 OK SPEAKING");
    EXPECT_EQ(shape_of(m.events()), "701 705 702");
}

TEST(Module, RunsWithAnEmptyMissingOrOddConfiguration) {
    const std::string dir = ::testing::TempDir();
    const std::string empty = dir + "/sd_tts_empty.conf";
    const std::string odd = dir + "/sd_tts_odd.conf";
    std::ofstream(empty).close();
    std::ofstream(odd) << "AddVoice \"zh\" \"male1\" \"x\"\nTtsMaxMessageSeconds many\n";
    for (const std::string &config : {empty, odd, dir + "/sd_tts_missing.conf"}) {
        ModuleProcess m({config});
        ASSERT_TRUE(m.handshake()) << config;
        ASSERT_EQ(speak(m, "SPEAK", kSentence), "200 OK SPEAKING");
        EXPECT_EQ(shape_of(m.events()), "701 705 702") << config;
    }
    std::remove(empty.c_str());
    std::remove(odd.c_str());
}

TEST(Module, EndsWhenTheServerGoesAway) {
    ModuleProcess m;
    ASSERT_TRUE(m.handshake());
    ASSERT_EQ(speak(m, "SPEAK", long_text()), "200 OK SPEAKING");
    // A server that dies closes the module's input: it stops and exits.
    m.close_input();
    EXPECT_EQ(m.wait_exit(5000), 0);
}

}  // namespace
}  // namespace sd_tts::test
