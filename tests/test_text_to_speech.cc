// SPDX-License-Identifier: Apache-2.0
// text_to_speech against the scripted fake service: the console transcript,
// the calls made, the file written and the result, for every path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console.h"
#include "fake_service.h"
#include "tts.h"

using testing_support::le32;
using testing_support::run_captured;
using testing_support::TempDir;

namespace {

const char *const kParams = "voice_name = xiaoxin, text_encoding = utf8, sample_rate = 16000, speed = 50, "
                            "volume = 50, pitch = 50, rdn = 2";
const std::string kLogin = "MSPLogin(null, null, \"appid = 7c2e94b0, work_dir = .\")";
const std::string kBegin = std::string("QTTSSessionBegin(\"") + kParams + "\", code=-1)";
const std::string kEnd = "QTTSSessionEnd(session, \"Normal\")";
const std::string kPause = "usleep(150000)";

const std::string kHead = std::string("login_status is 0 \nparams is ") + kParams +
                          " \n开始合成 ...\n正在合成 ...\n";
const std::string kPrompt = "按任意键退出 ...\n";

std::string fetch(int code_on_entry = 0) {
    return "QTTSAudioGet(session, code=" + std::to_string(code_on_entry) + ")";
}

std::string text_put(const std::string &text) {
    return "QTTSTextPut(session, \"" + text + "\", " + std::to_string(text.size()) + ", null)";
}

testing_support::Captured speak(const char *text, const std::string &path, const std::string &input = "xy") {
    return run_captured([&] { return text_to_speech(text, path.c_str(), "p"); }, input);
}

class TextToSpeech : public ::testing::Test {
  protected:
    void TearDown() override { std::memcpy(&default_wav_hdr, &saved_template_, sizeof saved_template_); }
    TempDir dir_;
    std::string wav_ = dir_.path("out.wav");

  private:
    wav_hdr saved_template_ = default_wav_hdr;
};

TEST_F(TextToSpeech, NormalCallStreamsEveryBlockAndTalksAsSpecified) {
    fake::Script s;
    s.session_begin_code = 7;  // not examined, and reset before every fetch
    s.fetches = {fake::block("ab"), fake::no_block(), fake::block("cde", 2)};
    fake::reset(s);

    const auto r = speak("你好", wav_);

    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.out, kHead + ">>\n" + kPrompt);
    EXPECT_EQ(r.next_stdin_char, 'y') << "exactly one character is read";
    const std::vector<std::string> expected = {kLogin, kBegin,  text_put("你好"), fetch(), kPause, fetch(),
                                               kPause, fetch(), kEnd,            "MSPLogout()"};
    EXPECT_EQ(fake::calls(), expected);
    const std::string file = testing_support::read_file(wav_);
    ASSERT_EQ(file.size(), 44u + 5u);
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(file, 4), 41u) << "odd length: no pad byte";
    EXPECT_EQ(le32(file, 40), 5u);
    EXPECT_EQ(file.substr(44), "abcde");
}

TEST_F(TextToSpeech, NullArgumentMakesNoCallAndReadsNothing) {
    fake::reset({});
    const std::string p = wav_;
    const std::vector<std::function<int()>> calls = {
        [&] { return text_to_speech(nullptr, p.c_str(), "p"); },
        [&] { return text_to_speech("t", nullptr, "p"); },
        [&] { return text_to_speech("t", p.c_str(), nullptr); },
    };
    for (const auto &call : calls) {
        const auto r = run_captured(call);
        EXPECT_EQ(r.result, -1);
        EXPECT_EQ(r.out, "params is error!\n");
        EXPECT_EQ(r.next_stdin_char, 'x');
    }
    EXPECT_TRUE(fake::calls().empty());
    EXPECT_FALSE(testing_support::file_exists(p));
}

TEST_F(TextToSpeech, FailedLoginStillPromptsAndLogsOut) {
    fake::Script s;
    s.login_code = 10407;
    fake::reset(s);
    const auto r = speak("t", wav_);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.out, "login_status is 10407 \nMSPLogin failed, error code: 10407.\n" + kPrompt);
    EXPECT_EQ(r.next_stdin_char, 'y');
    EXPECT_EQ(fake::calls(), (std::vector<std::string>{kLogin, "MSPLogout()"}));
    EXPECT_FALSE(testing_support::file_exists(wav_));
}

TEST_F(TextToSpeech, UnopenableFileBeginsNoSession) {
    fake::reset({});
    const std::string path = dir_.path("missing/out.wav");
    const auto r = speak("t", path);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.out, std::string("login_status is 0 \nparams is ") + kParams + " \nopen " + path + " error.\n" +
                         kPrompt);
    EXPECT_EQ(fake::calls(), (std::vector<std::string>{kLogin, "MSPLogout()"}));
}

TEST_F(TextToSpeech, LastStatusOnFirstFetchPrintsNoMarkAndNoPause) {
    fake::Script s;
    s.fetches = {fake::block("xyz", 2)};
    s.session_end_code = 0;
    fake::reset(s);
    const auto r = speak("t", wav_);
    EXPECT_EQ(r.out, kHead + "\n" + kPrompt);
    EXPECT_EQ(fake::count("usleep"), 0);
    EXPECT_EQ(testing_support::read_file(wav_).substr(44), "xyz");
}

TEST_F(TextToSpeech, NoAudioAtAllLeavesTheBareHeaderAndTruncatesAnOldFile) {
    testing_support::write_file(wav_, std::string(1000, 'o'));
    fake::Script s;
    s.fetches = {fake::no_block(), fake::no_block(2)};
    fake::reset(s);
    const auto r = speak("", wav_, "");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.out, kHead + ">\n" + kPrompt);
    EXPECT_EQ(r.next_stdin_char, EOF) << "stdin at its end: the read returns at once";
    EXPECT_EQ(fake::calls().at(2), text_put("")) << "an empty text is submitted with length 0";
    const std::string file = testing_support::read_file(wav_);
    ASSERT_EQ(file.size(), 44u);
    EXPECT_EQ(le32(file, 4), 36u);
    EXPECT_EQ(le32(file, 40), 0u);
}

TEST_F(TextToSpeech, SessionEndCodeIsTheResultAndTheFileStays) {
    fake::Script s;
    s.fetches = {fake::block("ab", 2)};
    s.session_end_code = 10132;
    fake::reset(s);
    const auto r = speak("t", wav_);
    EXPECT_EQ(r.result, 10132);
    EXPECT_EQ(testing_support::read_file(wav_).size(), 46u);
}

TEST_F(TextToSpeech, HostChangedTemplateIsWrittenAndItsSizesAreAddedTo) {
    default_wav_hdr.sample_rate = 8000;
    default_wav_hdr.data_size = 100;
    default_wav_hdr.riff_size = 1;
    fake::Script s;
    s.fetches = {fake::block("abcd", 2)};
    fake::reset(s);
    speak("t", wav_);
    const std::string file = testing_support::read_file(wav_);
    EXPECT_EQ(le32(file, 24), 8000u);
    EXPECT_EQ(le32(file, 40), 104u);
    EXPECT_EQ(le32(file, 4), 1u + 104u + 36u);
    EXPECT_EQ(default_wav_hdr.data_size, 100u) << "the template is never written";
}

TEST_F(TextToSpeech, SizesSaturateAtTheLimit) {
    default_wav_hdr.data_size = 0xFFFFFFF0u;
    fake::Script s;
    s.fetches = {fake::block(std::string(32, 'a'), 2)};
    fake::reset(s);
    speak("t", wav_);
    const std::string file = testing_support::read_file(wav_);
    EXPECT_EQ(le32(file, 40), 0xFFFFFFFFu);
    EXPECT_EQ(le32(file, 4), 0xFFFFFFFFu);
}

TEST_F(TextToSpeech, FailingFetchEndsTheLoopAndIsTheResult) {
    fake::Script s;
    s.fetches = {fake::block("ab"), fake::block("cd", 1, 10200), fake::block("never", 2)};
    s.session_end_code = 0;
    fake::reset(s);
    const auto r = speak("t", wav_);
    EXPECT_EQ(r.result, 10200);
    EXPECT_EQ(r.out, kHead + ">\nQTTSAudioGet failed, error code: 10200.\n" + kPrompt);
    EXPECT_EQ(fake::calls(), (std::vector<std::string>{kLogin, kBegin, text_put("t"), fetch(), kPause, fetch(),
                                                       kEnd, "MSPLogout()"}));
    const std::string file = testing_support::read_file(wav_);
    EXPECT_EQ(file.substr(44), "abcd") << "the failing fetch's block is kept";
    EXPECT_EQ(le32(file, 40), 4u);
}

TEST_F(TextToSpeech, FailureReportedWithTheEndStatusIsStillAFailure) {
    fake::Script s;
    s.fetches = {fake::no_block(2, -5)};
    fake::reset(s);
    const auto r = speak("t", wav_);
    EXPECT_EQ(r.result, -5);
    EXPECT_EQ(r.out, kHead + "\nQTTSAudioGet failed, error code: -5.\n" + kPrompt);
}

TEST_F(TextToSpeech, UnwritableFileIsReportedAndStopsFetching) {
    // Small audio fails only when the buffered stream is flushed at the end;
    // large blocks fail at once and stop the fetch loop.
    struct Case {
        std::string block;
        int fetches_made;
    };
    for (const Case &c : {Case{"ab", 3}, Case{std::string(64 * 1024, 'a'), 1}}) {
        fake::Script s;
        s.fetches = {fake::block(c.block), fake::block(c.block), fake::block(c.block, 2)};
        fake::reset(s);
        const auto r = speak("t", "/dev/full");
        EXPECT_EQ(r.result, -1);
        const std::string marks(static_cast<std::size_t>(c.fetches_made - 1), '>');
        EXPECT_EQ(r.out, kHead + marks + "\nwrite /dev/full error.\n" + kPrompt);
        EXPECT_EQ(fake::count("QTTSAudioGet"), c.fetches_made);
        EXPECT_EQ(fake::count("QTTSSessionEnd"), 1);
        EXPECT_EQ(fake::count("MSPLogout"), 1);
    }
}

}  // namespace
