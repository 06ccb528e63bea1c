// SPDX-License-Identifier: Apache-2.0
// text_to_speech with the real service under bad and large input and under
// load: every call completes, speaks or fails with a clear code, writes a
// consistent file, and the process holds no more afterwards than before.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <thread>
#include <vector>

#include "console.h"
#include "speech_service.h"
#include "tts.h"

using testing_support::le32;
using testing_support::read_file;
using testing_support::TempDir;

namespace {

// Speaks `text` into `path` with stdin at its end; the library's dialogue
// goes into the test's log.
int speak(const std::string &text, const std::string &path) { return text_to_speech(text.c_str(), path.c_str(), ""); }

class Robustness : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
    }
    TempDir dir_;
};

// The file is a finished WAV whose sizes agree with its length.
void expect_consistent_wav(const std::string &path) {
    const std::string f = read_file(path);
    ASSERT_GE(f.size(), 44u);
    EXPECT_EQ(f.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(f, 40), f.size() - 44);
    EXPECT_EQ(le32(f, 4), f.size() - 8);
}

long open_fds() {
    long n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr) ++n;
        closedir(d);
    }
    return n;
}

// Waits (up to 10 s) until the service's ready helper has ended of
// idleness, so that descriptors can be counted without it.
void wait_for_no_helper() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        errno = 0;
        const bool children = !(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
        if (!children || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

long rss_kib() {
    long pages_total = 0, pages_resident = 0;
    if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages_total, &pages_resident) != 2) pages_resident = 0;
        std::fclose(f);
    }
    return pages_resident * 4;
}

TEST_F(Robustness, BadAndOddTextsSpeakOrFailClearly) {
    const std::string long_word(100000, 'a');
    struct Case {
        const char *name;
        std::string text;
        int result;
    };
    const Case cases[] = {
        {"invalid UTF-8", "你好\xE4\xBD", SPEECH_ERR_INVALID_TEXT},
        {"lone continuation bytes", "\x80\x80\x80", SPEECH_ERR_INVALID_TEXT},
        {"only punctuation", "。，！？……；：“”（）", 0},
        {"only digits", std::string(2000, '7'), 0},
        {"a very long word", long_word, 0},
        {"mixed scripts", "Hello 你好 Привет مرحبا こんにちは 안녕 123 ½ 🙂", 0},
        {"control characters", "\x01\x02\t\r\n\x1b[31m 你好 \x7f\x1f", 0},
        {"markup-like text", "你好 <speak>你好</speak> &amp; <<<>>> {{}}", 0},
        // SSML (it starts with <speak) that is not well-formed: nothing is
        // put, so the first fetch fails.
        {"malformed SSML", "<speak>你好</speak> &amp; <<<>>> {{}}", SPEECH_ERR_NO_TEXT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.path("bad.wav");
        EXPECT_EQ(speak(c.text, path), c.result);
        expect_consistent_wav(path);
    }
}

// A misinstalled package: the dialogue names the real reason, 21014.
TEST_F(Robustness, MissingHelperShowsAsTheEngineThatCouldNotStart) {
    setenv("SPEECH_SERVICE_ENGINE", "/no/such/tts-engine", 1);
    const std::string path = dir_.path("missing.wav");
    const auto r = testing_support::run_captured([&] { return speak("你好", path); });
    unsetenv("SPEECH_SERVICE_ENGINE");
    EXPECT_EQ(r.result, SPEECH_ERR_ENGINE_START);
    EXPECT_EQ(r.out,
              "login_status is 0 \n"
              "params is voice_name = xiaoxin, text_encoding = utf8, sample_rate = 16000, speed = 50, volume = 50, "
              "pitch = 50, rdn = 2 \n"
              "开始合成 ...\n正在合成 ...\n\n"
              "QTTSAudioGet failed, error code: 21014.\n"
              "按任意键退出 ...\n");
    EXPECT_EQ(read_file(path).size(), 44u);
    expect_consistent_wav(path);
}

TEST_F(Robustness, TenMegabyteTextFinishesInBoundedMemory) {
    // Mostly blanks, so that the audio stays short, with words throughout.
    std::string text;
    for (int i = 0; i < 10; ++i) text += std::string(1 << 20, ' ') + "你好。";
    const std::string path = dir_.path("large.wav");
    const long before = rss_kib();
    ASSERT_EQ(speak(text, path), 0);
    expect_consistent_wav(path);
    EXPECT_GT(read_file(path).size(), 10u * 16000u) << "every word is spoken";
#ifndef TTS_SANITIZED
    // (Under AddressSanitizer the reading front end's freed pieces wait in
    // quarantine, so the peak says nothing about the service there.)
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    EXPECT_LT(ru.ru_maxrss - before, 64 * 1024) << "about two copies of the text, not more";
#else
    (void)before;
#endif
}

TEST_F(Robustness, EightThreadsOfTwentyCallsMatchOneAtATime) {
    const std::vector<std::string> texts = {"你好，世界。", "今天天气很好。", "一二三四五。", "春眠不觉晓。"};
    std::vector<std::string> alone;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string path = dir_.path("alone" + std::to_string(i) + ".wav");
        ASSERT_EQ(speak(texts[i], path), 0);
        alone.push_back(read_file(path));
    }
    auto round = [&](int calls, std::vector<int> &failures) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < calls; ++i) {
                    const std::size_t which = static_cast<std::size_t>(t + i) % texts.size();
                    const std::string path = dir_.path("t" + std::to_string(t) + ".wav");
                    if (speak(texts[which], path) != 0 || read_file(path) != alone[which]) ++failures[t];
                }
            });
        }
        for (auto &th : threads) th.join();
    };
    std::vector<int> failures(8, 0);
    setenv("SPEECH_SERVICE_WARM_IDLE_MS", "200", 1);
    round(1, failures);  // warm up: allocator arenas, engine catalogue
    wait_for_no_helper();
    const long fds = open_fds();
    [[maybe_unused]] const long rss = rss_kib();
    round(20, failures);
    EXPECT_EQ(failures, std::vector<int>(8, 0));
    wait_for_no_helper();
    unsetenv("SPEECH_SERVICE_WARM_IDLE_MS");
    EXPECT_EQ(open_fds(), fds);
#ifndef TTS_SANITIZED
    // (AddressSanitizer holds freed memory in quarantine and checks leaks
    // itself at exit, so the resident size says nothing there.)
    EXPECT_LT(rss_kib() - rss, 16 * 1024) << "no growth across the run";
#endif
}

}  // namespace
