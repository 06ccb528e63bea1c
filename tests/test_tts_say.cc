// SPDX-License-Identifier: Apache-2.0
// tts-say as a user runs it: a process with the real libraries and engine.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "console.h"

using testing_support::read_file;
using testing_support::TempDir;

namespace {

struct Outcome {
    int exit_code;
    std::string out, err;
};

// Runs tts-say with `args` (shell words) in `dir`, stdin from `input`.
Outcome tts_say(const TempDir &dir, const std::string &args, const std::string &input = "",
            const std::string &env = "") {
    testing_support::write_file(dir.path("in.txt"), input);
    const std::string cmd = "cd '" + dir.path("") + "' && " + env + " '" TTS_SAY "' " + args +
                            " < in.txt > stdout.txt 2> stderr.txt";
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(dir.path("stdout.txt")),
            read_file(dir.path("stderr.txt"))};
}

struct WavInfo {
    bool ok;
    int rate, channels, format;
    long long frames;
};

WavInfo wav_info(const std::string &path) {
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) return {false, 0, 0, 0, 0};
    sf_close(f);
    return {true, info.samplerate, info.channels, info.format, static_cast<long long>(info.frames)};
}

TEST(TtsSay, SpeaksItsArgumentsIntoAWavFileWithTheLibrarysDialogue) {
    TempDir dir;
    const Outcome r = tts_say(dir, "你好， 世界。");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("login_status is 0 \n", 0), 0u);
    EXPECT_NE(r.out.find("正在合成 ...\n\n按任意键退出 ...\n"), std::string::npos)
        << "a short text is fetched in one go, without a pause";
    const WavInfo w = wav_info(dir.path("tts.wav"));
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.rate, 16000);
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_GT(w.frames, 16000 / 2);
    EXPECT_LT(w.frames, 16000 * 5);
}

TEST(TtsSay, ArgumentsFileAndStandardInputGiveTheSameSpeech) {
    TempDir dir;
    testing_support::write_file(dir.path("text.txt"), "春眠 不觉晓");
    ASSERT_EQ(tts_say(dir, "-o a.wav 春眠 不觉晓").exit_code, 0);
    ASSERT_EQ(tts_say(dir, "-o b.wav -f text.txt").exit_code, 0);
    ASSERT_EQ(tts_say(dir, "-o c.wav", "春眠 不觉晓").exit_code, 0);
    const std::string a = read_file(dir.path("a.wav"));
    EXPECT_GT(a.size(), 44u);
    EXPECT_EQ(read_file(dir.path("b.wav")), a);
    EXPECT_EQ(read_file(dir.path("c.wav")), a);
}

TEST(TtsSay, UsageErrorsExitTwoAndHelpAndVersionExitZero) {
    TempDir dir;
    for (const char *args : {"--bogus", "-o", "-f text.txt words"}) {
        const Outcome r = tts_say(dir, args);
        EXPECT_EQ(r.exit_code, 2) << args;
        EXPECT_NE(r.err.find("usage: tts-say [-o FILE] [-f TEXTFILE] [TEXT...]"), std::string::npos);
    }
    const Outcome help = tts_say(dir, "--help");
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("usage: tts-say"), std::string::npos);
    const Outcome version = tts_say(dir, "--version");
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out, "tts-say " TTS_VERSION "\n");
}

TEST(TtsSay, FailuresExitOneWithTheirMeaning) {
    TempDir dir;
    const Outcome no_dir = tts_say(dir, "-o missing/x.wav hello");
    EXPECT_EQ(no_dir.exit_code, 1);
    EXPECT_EQ(no_dir.err, "tts-say: the text could not be spoken into missing/x.wav (see the messages above)\n");
    EXPECT_NE(no_dir.out.find("open missing/x.wav error.\n"), std::string::npos);

    const Outcome engine = tts_say(dir, "hello", "", "SPEECH_SERVICE_ENGINE='" SPEECH_TEST_HELPERS "/fail.sh'");
    EXPECT_EQ(engine.exit_code, 1);
    EXPECT_NE(engine.err.find("tts-say: the speech engine reported an error (code 21015)"), std::string::npos);
    EXPECT_NE(engine.out.find("QTTSAudioGet failed, error code: 21015.\n"), std::string::npos);

    const Outcome no_file = tts_say(dir, "-f nosuch.txt");
    EXPECT_EQ(no_file.exit_code, 1);
    EXPECT_NE(no_file.err.find("cannot read nosuch.txt"), std::string::npos);
}

}  // namespace
