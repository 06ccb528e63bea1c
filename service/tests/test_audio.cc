// SPDX-License-Identifier: Apache-2.0
// What the service says, not only how much: its audio against a rendering
// of the same text made here with the engine and resampler libraries
// themselves; and a client slow enough for the audio buffer to fill.
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <gtest/gtest.h>
#include <soxr.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "service_client.h"
#include "speech_service.h"

namespace {

using Samples = std::vector<std::int16_t>;

std::vector<std::int16_t> *g_engine_out = nullptr;

int collect(short *wav, int count, espeak_EVENT *) {
    if (wav != nullptr && count > 0) g_engine_out->insert(g_engine_out->end(), wav, wav + count);
    return 0;
}

// In a fresh process, as the helper does it: the engine keeps state from
// one text to the next and cannot be set up twice.
Samples render_here(const std::string &voice, const std::string &text, int rate) {
    espeak_ng_InitializePath(nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    if (espeak_ng_Initialize(&context) != ENS_OK) return {};
    if (espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 200, nullptr) != ENS_OK) return {};
    if (espeak_ng_SetVoiceByName(voice.c_str()) != ENS_OK) return {};
    espeak_ng_SetParameter(espeakRATE, 175, 0);
    espeak_ng_SetParameter(espeakVOLUME, 100, 0);
    espeak_ng_SetParameter(espeakPITCH, 50, 0);
    Samples engine;
    g_engine_out = &engine;
    espeak_SetSynthCallback(collect);
    espeak_ng_Synthesize(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8 | espeakENDPAUSE,
                         nullptr, nullptr);
    espeak_ng_Synchronize();
    const int engine_rate = espeak_ng_GetSampleRate();

    Samples out(engine.size() * static_cast<std::size_t>(rate) / static_cast<std::size_t>(engine_rate) + 1024);
    std::size_t made = 0;
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_16_BITQ, 0);
    if (soxr_oneshot(engine_rate, rate, 1, engine.data(), engine.size(), nullptr, out.data(), out.size(), &made, &io,
                     &quality, nullptr) != nullptr)
        return {};
    out.resize(made);
    return out;
}

// `text` spoken by the engine library with the settings that a session with
// speed, volume and pitch 50 gives (175 words per minute, amplitude 100,
// pitch 50), resampled from the engine's rate in one go: made apart from
// the service, in a child process.
Samples reference_rendering(const std::string &voice, const std::string &text, int rate) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const Samples s = render_here(voice, text, rate);
        const char *p = reinterpret_cast<const char *>(s.data());
        std::size_t left = s.size() * sizeof s[0];
        while (left > 0) {
            const ssize_t w = write(fds[1], p, left);
            if (w <= 0) _exit(1);
            p += w;
            left -= static_cast<std::size_t>(w);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string bytes;
    char buf[65536];
    for (ssize_t r; (r = read(fds[0], buf, sizeof buf)) != 0;) {
        if (r > 0) bytes.append(buf, static_cast<std::size_t>(r));
        else if (errno != EINTR) break;
    }
    close(fds[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    Samples s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

// The service's bytes as samples: 16-bit little-endian.
Samples as_samples(const std::string &audio) {
    Samples s(audio.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::int16_t>(static_cast<unsigned char>(audio[2 * i]) |
                                         static_cast<unsigned char>(audio[2 * i + 1]) << 8);
    return s;
}

struct Likeness {
    double correlation;     // of the two signals, 1 for the same shape
    double relative_error;  // RMS of the difference over RMS of the reference
};

Likeness compare(const Samples &got, const Samples &ref) {
    const std::size_t n = std::min(got.size(), ref.size());
    double gg = 0, rr = 0, gr = 0, dd = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double g = got[i], r = ref[i];
        gg += g * g;
        rr += r * r;
        gr += g * r;
        dd += (g - r) * (g - r);
    }
    if (gg == 0 || rr == 0) return {0, 1};
    return {gr / std::sqrt(gg * rr), std::sqrt(dd / rr)};
}

class Audio : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(MSPLogin(nullptr, nullptr, service_test::kLogin), SPEECH_OK); }
    void TearDown() override { EXPECT_EQ(MSPLogout(), SPEECH_OK); }
};

TEST_F(Audio, SpeechMatchesAnIndependentRenderingOfTheSameText) {
    struct Case {
        const char *voice;
        const char *text;
        int rate;
    };
    for (const Case &c : {Case{"en", "The quick brown fox jumps over the lazy dog.", 16000},
                          Case{"en", "Seven silver swans sing softly.", 8000},
                          Case{"de", "Guten Morgen, wie geht es dir?", 16000}}) {
        SCOPED_TRACE(std::string(c.voice) + " at " + std::to_string(c.rate) + ": " + c.text);
        const std::string params = std::string("voice_name = ") + c.voice + ", sample_rate = " +
                                   std::to_string(c.rate) + ", speed = 50, volume = 50, pitch = 50";
        const auto spoken = service_test::synthesize(params, c.text);
        ASSERT_EQ(spoken.fetch_code, SPEECH_OK);
        const Samples got = as_samples(spoken.audio);
        const Samples ref = reference_rendering(c.voice, c.text, c.rate);
        ASSERT_GT(ref.size(), static_cast<std::size_t>(c.rate / 2));
        EXPECT_NEAR(static_cast<double>(got.size()), static_cast<double>(ref.size()), 4.0) << "the same length";
        const Likeness l = compare(got, ref);
        EXPECT_GT(l.correlation, 0.999);
        EXPECT_LT(l.relative_error, 0.01);
    }
}

// The helper starts the engine from a small folder of its own with only the
// Mandarin voice in it: the audio is the bytes of the engine's own data
// place, for Mandarin and for a document that goes to other voices and back.
TEST_F(Audio, TheHelpersVoiceFolderSpeaksAsTheEnginesOwnData) {
    setenv("SPEECH_SERVICE_WARM_ENGINE", "0", 1);  // each session a helper started for it
    const std::pair<const char *, const char *> cases[] = {
        {"", "你好，欢迎使用离线语音合成。"},
        {"voice_name = en", "Hello there."},
        {"text_type = ssml",
         "<speak>你好，<voice name=\"en\">Hello</voice>世界。<voice name=\"de\">Guten Tag.</voice>再见。</speak>"},
    };
    std::vector<std::string> from_folder;
    for (const auto &[params, text] : cases) {
        const auto spoken = service_test::synthesize(params, text);
        EXPECT_EQ(spoken.fetch_code, SPEECH_OK) << text;
        from_folder.push_back(spoken.audio);
    }
    setenv("ESPEAK_DATA_PATH", SPEECH_ENGINE_DATA_DIR, 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto spoken = service_test::synthesize(cases[i].first, cases[i].second);
        EXPECT_EQ(spoken.fetch_code, SPEECH_OK);
        EXPECT_FALSE(spoken.audio.empty());
        EXPECT_TRUE(spoken.audio == from_folder[i]) << cases[i].second;
    }
    unsetenv("ESPEAK_DATA_PATH");
    unsetenv("SPEECH_SERVICE_WARM_ENGINE");
}

// A client that pauses longer than the engine needs to fill the 8 MiB
// buffer: the helper waits while the buffer is full, and each fetch that
// empties it must set the collection going again, to the end.
TEST_F(Audio, SlowClientFillsTheBufferAndStillGetsAllTheAudio) {
    constexpr std::size_t kBufferCap = 8u << 20;
    std::string text;
    for (int i = 0; i < 600; ++i) text += "A slow client fetches this long text a little at a time. ";
    int code = 0;
    const char *h = QTTSSessionBegin("voice_name = en", &code);
    ASSERT_NE(h, nullptr);
    const auto put = std::chrono::steady_clock::now();
    ASSERT_EQ(QTTSTextPut(h, text.data(), static_cast<unsigned>(text.size()), nullptr), SPEECH_OK);
    std::size_t total = 0, largest = 0, after_full = 0;
    int status = 1;
    bool seen_full = false;
    std::chrono::steady_clock::duration pause{};
    while (code == SPEECH_OK && status != 2) {
        unsigned len = 0;
        QTTSAudioGet(h, &len, &status, &code);
        total += len;
        if (seen_full) after_full += len;
        largest = std::max<std::size_t>(largest, len);
        seen_full = seen_full || len >= kBufferCap;
        if (seen_full || status == 2) continue;  // then the rest at once
        // The first fetch waits for 1 MiB: twice the time that took for
        // each of the 8 MiB is ample, however slow the machine; doubled
        // while the buffer is still found short.
        pause = pause == pause.zero() ? 16 * (std::chrono::steady_clock::now() - put) : 2 * pause;
        std::this_thread::sleep_for(pause);
    }
    EXPECT_EQ(code, SPEECH_OK);
    EXPECT_EQ(QTTSSessionEnd(h, "Normal"), SPEECH_OK);
    EXPECT_TRUE(seen_full) << "the buffer filled";
    EXPECT_EQ(largest, kBufferCap) << "and never held more than its cap";
    EXPECT_GT(after_full, 0u) << "audio came after the full buffer was emptied";
    EXPECT_EQ(total % 2, 0u);
}

}  // namespace
