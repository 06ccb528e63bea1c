// SPDX-License-Identifier: Apache-2.0
// The service under hosts that make life hard for it: a host that ignores
// SIGCHLD, one that forks, one that holds pipes and files, and helpers that
// write on stderr as they die.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "../engine/sanitizer_build.h"
#include "service_client.h"
#include "speech_service.h"

using service_test::synthesize;

namespace {

const std::string kHelpers = SPEECH_TEST_HELPERS;

// Lets the service's threads settle (into their waits) before a fork: a
// child of a threaded process may find a lock held at the fork, and some
// allocators (AddressSanitizer's) do not guard theirs across it.
void settle_before_fork() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

class HostileHost : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(MSPLogin(nullptr, nullptr, service_test::kLogin), SPEECH_OK); }
    void TearDown() override {
        EXPECT_EQ(MSPLogout(), SPEECH_OK);
        service_test::reset_engine();
    }
};

// Audio must never pass for complete when the helper did not say it was:
// not even when the host's SIGCHLD disposition takes the exit status away.
TEST_F(HostileHost, OutputWithoutTheEndFrameFailsWhateverTheExitStatus) {
    struct Case {
        const char *helper;
        bool ignore_sigchld;
        int code;
    };
    const Case cases[] = {
        {"crash_half_way.sh", false, SPEECH_ERR_ENGINE_CRASHED},
        {"crash_half_way.sh", true, SPEECH_ERR_ENGINE_CRASHED},
        {"quit_half_way.sh", false, SPEECH_ERR_ENGINE_OUTPUT},
        {"quit_half_way.sh", true, SPEECH_ERR_ENGINE_CRASHED},
        {"fail.sh", true, SPEECH_ERR_ENGINE_FAILED},
        {"odd.sh", true, SPEECH_ERR_ENGINE_OUTPUT},
    };
    for (const Case &c : cases) {
        if (c.ignore_sigchld) signal(SIGCHLD, SIG_IGN);
        service_test::with_engine(kHelpers + "/" + c.helper, [&] {
            const auto s = synthesize("", "你好");
            EXPECT_EQ(s.fetch_code, c.code) << c.helper << (c.ignore_sigchld ? " with SIGCHLD ignored" : "");
        });
        signal(SIGCHLD, SIG_DFL);
    }
}

// A child that the host forks and that ends through exit() runs the
// service's static destructors: they must not touch the parent's helper.
TEST_F(HostileHost, AForkedChildThatExitsLeavesTheParentsSessionAlone) {
    for (const char *text : {"你好，世界。", ""}) {
        int code = -1;
        const char *h = QTTSSessionBegin("", &code);
        ASSERT_NE(h, nullptr);
        settle_before_fork();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The parent's session is not the child's to use.
            unsigned len = 0;
            int status = 0, fetch_code = 0;
            QTTSAudioGet(h, &len, &status, &fetch_code);
            const bool refused = fetch_code == SPEECH_ERR_INVALID_HANDLE &&
                                 QTTSTextPut(h, "a", 1, nullptr) == SPEECH_ERR_INVALID_HANDLE;
            std::exit(refused ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child was refused the parent's handle";
        ASSERT_EQ(QTTSTextPut(h, text, static_cast<unsigned>(std::string(text).size()), nullptr), SPEECH_OK);
        unsigned len = 0;
        int synth = 0;
        std::size_t bytes = 0;
        do {
            QTTSAudioGet(h, &len, &synth, &code);
            bytes += len;
        } while (code == SPEECH_OK && synth != 2);
        EXPECT_EQ(code, SPEECH_OK) << "the parent's session completes";
        EXPECT_EQ(bytes > 0, *text != '\0');
        EXPECT_EQ(QTTSSessionEnd(h, nullptr), SPEECH_OK);
    }
}

// A forked child can speak too, with helpers of its own.
TEST_F(HostileHost, AForkedChildSpeaksWithItsOwnHelpers) {
    const std::string reference = synthesize("", "你好").audio;
    settle_before_fork();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const auto s = synthesize("", "你好");
        std::exit(s.fetch_code == SPEECH_OK && s.audio == reference ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(synthesize("", "你好").audio, reference) << "and the parent's ready helper still serves";
}

// A host waiting for the end of its own pipe must not wait for a helper.
TEST_F(HostileHost, HelpersHoldNoDescriptorOfTheHost) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);  // inheritable, as a careless host makes them
    service_test::with_engine(kHelpers + "/hang.sh", [&] {
        int code = -1;
        const char *h = QTTSSessionBegin("", &code);
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(QTTSTextPut(h, "a", 1, nullptr), SPEECH_OK);
        close(fds[1]);
        pollfd p = {fds[0], POLLIN, 0};
        EXPECT_EQ(poll(&p, 1, 2000), 1);
        EXPECT_TRUE(p.revents & POLLHUP) << "the pipe's writer is gone: no helper holds it";
        EXPECT_EQ(QTTSSessionEnd(h, nullptr), SPEECH_OK);
    });
    close(fds[0]);
}

std::string read_file(const std::string &path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// What a dying helper writes on stderr is kept for the host to ask for,
// never written into the host's own stderr.
TEST_F(HostileHost, TheHelpersStderrIsKeptAndNotTheHosts) {
    EXPECT_STREQ(speech_service_last_engine_error(), "");
    char path[] = "/tmp/tts-host-stderr-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    const int saved = dup(STDERR_FILENO);
    dup2(file, STDERR_FILENO);
    service_test::with_engine(kHelpers + "/crash_half_way.sh", [&] {
        EXPECT_EQ(synthesize("", "你好").fetch_code, SPEECH_ERR_ENGINE_CRASHED);
    });
    service_test::with_engine(kHelpers + "/fail.sh", [&] {
        std::thread([] {
            EXPECT_EQ(synthesize("", "你好").fetch_code, SPEECH_ERR_ENGINE_FAILED);
            EXPECT_STREQ(speech_service_last_engine_error(), "tts-engine: synthesis failed");
        }).join();
    });
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(file);
    EXPECT_EQ(read_file(path), "") << "nothing reached the host's stderr";
    unlink(path);
    EXPECT_STREQ(speech_service_last_engine_error(), "*** stack smashing detected ***: terminated")
        << "per thread: the other thread's failure is its own";
    EXPECT_EQ(synthesize("", "你好").fetch_code, SPEECH_OK);
    EXPECT_STREQ(speech_service_last_engine_error(), "*** stack smashing detected ***: terminated")
        << "a session that succeeds leaves it";
}

// The helper runs untrusted text in a sandbox: a forbidden call (as the
// engine might make once its memory is corrupted) kills the helper, which
// the session reports as a crashed engine, and nothing else; reading stays
// allowed. The test build of the helper makes the call on request.
TEST_F(HostileHost, ACallTheHelpersSandboxForbidsKillsOnlyTheHelper) {
    if (speech::kThreadSanitizer || speech::kMemorySanitizer)
        GTEST_SKIP() << "sanitizer builds run the helper without its sandbox";
    const std::string written = testing::TempDir() + "/sandboxed-helper-wrote-this";
    std::remove(written.c_str());
    // No helper started ahead of need, which would read the environment
    // as the cases change it.
    setenv("SPEECH_SERVICE_WARM_ENGINE", "0", 1);
    const struct {
        std::string call;
        int code;
    } cases[] = {
        {"socket", SPEECH_ERR_ENGINE_CRASHED},
        {"exec", SPEECH_ERR_ENGINE_CRASHED},
        {"write " + written, SPEECH_ERR_ENGINE_CRASHED},
        {"ptrace", SPEECH_ERR_ENGINE_CRASHED},
        {"i386", SPEECH_ERR_ENGINE_CRASHED},
        {"x32", SPEECH_ERR_ENGINE_CRASHED},
        {"read /proc/self/maps", SPEECH_OK},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.call);
#if !defined(__x86_64__)
        if (c.call == "i386" || c.call == "x32") continue;  // an x86-64 kernel's other entries
#endif
        setenv("SPEECH_ENGINE_TEST_CALL", c.call.c_str(), 1);
        service_test::set_engine(TTS_ENGINE_TEST_CALLS, "10000");
        const auto s = synthesize("", "你好");
        EXPECT_EQ(s.fetch_code, c.code);
        EXPECT_EQ(s.end_code, SPEECH_OK);
        if (c.code == SPEECH_OK) {
            EXPECT_FALSE(s.audio.empty());
        }
    }
    unsetenv("SPEECH_ENGINE_TEST_CALL");
    unsetenv("SPEECH_SERVICE_WARM_ENGINE");
    service_test::reset_engine();
    EXPECT_FALSE(std::ifstream(written).good()) << "the helper opened a file for writing";
    const auto after = synthesize("", "你好");
    EXPECT_EQ(after.fetch_code, SPEECH_OK) << "the host goes on with a new helper";
    EXPECT_FALSE(after.audio.empty());
}

}  // namespace
