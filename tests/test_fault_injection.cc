// SPDX-License-Identifier: Apache-2.0
// Every speech service call and every output file operation made to fail in
// turn: what is printed, what is returned, and that the session is ended
// and the login released exactly once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "console.h"
#include "failing_stdio.h"
#include "fake_service.h"
#include "tts.h"

using failing_stdio::Op;
using testing_support::run_captured;

namespace {

const std::string kHead =
    "login_status is 0 \nparams is voice_name = xiaoxin, text_encoding = utf8, sample_rate = 16000, speed = 50, "
    "volume = 50, pitch = 50, rdn = 2 \n开始合成 ...\n正在合成 ...\n";
const std::string kPrompt = "按任意键退出 ...\n";

// Three fetches; the middle block is large enough to reach the file at once.
fake::Script three_blocks() {
    fake::Script s;
    s.fetches = {fake::block("ab"), fake::block(std::string(64 * 1024, 'm')), fake::block("cd", 2)};
    return s;
}

struct ServiceFault {
    const char *name;
    fake::Script script;
    int result;
    std::string out_tail;  // what follows the header lines
    int session_ends;
};

std::vector<ServiceFault> service_faults() {
    std::vector<ServiceFault> v;
    fake::Script s;
    s.login_code = 10106;
    v.push_back({"login", s, -1, "", 0});

    // A failed begin is not examined; the service then fails the fetch.
    s = {};
    s.begin_returns_null = true;
    s.session_begin_code = 10109;
    s.fetches = {fake::no_block(1, 10108)};
    v.push_back({"session begin", s, 10108, "\nQTTSAudioGet failed, error code: 10108.\n", 1});

    s = three_blocks();
    s.text_put_code = 10111;  // not examined either
    v.push_back({"text put", s, 0, ">>\n", 1});

    for (int at : {0, 1, 2}) {
        s = three_blocks();
        s.fetches[at].code = 10200 + at;
        v.push_back({at == 0 ? "first fetch" : at == 1 ? "middle fetch" : "last fetch", s, 10200 + at,
                     std::string(at, '>') + "\nQTTSAudioGet failed, error code: " + std::to_string(10200 + at) + ".\n",
                     1});
    }

    s = three_blocks();
    s.session_end_code = 10300;
    v.push_back({"session end", s, 10300, ">>\n", 1});
    return v;
}

class Faults : public ::testing::Test {
  protected:
    void TearDown() override { failing_stdio::disarm(); }
    testing_support::TempDir dir_;
    std::string wav_ = dir_.path("out.wav");

    testing_support::Captured speak(const std::string &path) {
        return run_captured([&] { return text_to_speech("t", path.c_str(), "p"); });
    }
};

TEST_F(Faults, EachServiceCallFailingInTurn) {
    for (const ServiceFault &f : service_faults()) {
        SCOPED_TRACE(f.name);
        fake::reset(f.script);
        const auto r = speak(wav_);
        EXPECT_EQ(r.result, f.result);
        if (f.script.login_code != 0) {
            EXPECT_EQ(r.out, "login_status is 10106 \nMSPLogin failed, error code: 10106.\n" + kPrompt);
        } else {
            EXPECT_EQ(r.out, kHead + f.out_tail + kPrompt);
        }
        EXPECT_EQ(fake::count("QTTSSessionEnd"), f.session_ends);
        EXPECT_EQ(fake::count("MSPLogout"), 1);
        EXPECT_EQ(r.next_stdin_char, 'y');
    }
}

TEST_F(Faults, EachOutputOperationFailingInTurn) {
    struct Case {
        const char *name;
        Op op;
        int nth;
        int fetches;  // made before the failure stops the loop
    };
    const Case cases[] = {
        {"header write", Op::fwrite, 1, 0}, {"first block", Op::fwrite, 2, 1}, {"middle block", Op::fwrite, 3, 2},
        {"size patch", Op::fwrite, 5, 3},   {"patch seek", Op::fseek, 1, 3},   {"close", Op::fclose, 1, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fake::reset(three_blocks());
        failing_stdio::arm(c.op, c.nth);
        const auto r = speak(wav_);
        failing_stdio::disarm();
        EXPECT_EQ(r.result, -1);
        const std::string marks(static_cast<std::size_t>(c.fetches > 0 ? c.fetches - 1 : 0), '>');
        EXPECT_EQ(r.out, kHead + marks + "\nwrite " + wav_ + " error.\n" + kPrompt);
        EXPECT_EQ(fake::count("QTTSAudioGet"), c.fetches);
        EXPECT_EQ(fake::count("QTTSSessionEnd"), 1);
        EXPECT_EQ(fake::count("MSPLogout"), 1);
    }
}

TEST_F(Faults, FilesThatCannotBeOpenedBeginNoSession) {
    // Refused by fopen, and a folder in which no file can be created (as
    // root too).
    const std::string proc_path = "/proc/self/out.wav";
    for (const bool interposed : {true, false}) {
        fake::reset(three_blocks());
        if (interposed) failing_stdio::arm(Op::fopen, 1);
        const std::string path = interposed ? wav_ : proc_path;
        const auto r = speak(path);
        failing_stdio::disarm();
        EXPECT_EQ(r.result, -1);
        EXPECT_NE(r.out.find("open " + path + " error.\n" + kPrompt), std::string::npos);
        EXPECT_EQ(fake::count("QTTSSessionBegin"), 0);
        EXPECT_EQ(fake::count("MSPLogout"), 1);
    }
}

TEST_F(Faults, ReadOnlyDirectoryForAnOrdinaryUser) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    const std::string ro = dir_.path("ro");
    ASSERT_EQ(mkdir(ro.c_str(), 0555), 0);
    fake::reset(three_blocks());
    const auto r = speak(ro + "/out.wav");
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(fake::count("QTTSSessionBegin"), 0);
}

}  // namespace
