// SPDX-License-Identifier: Apache-2.0
// The warm engine: a helper serves session after session with the bytes of
// a fresh one, is never reused after a session that did not end well, is
// replaced after its number of sessions, ends after its idle time, and dies
// with its host.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "service_client.h"
#include "speech_service.h"

extern char **environ;

using service_test::synthesize;

namespace {

// The processes whose parent is `parent`.
std::set<pid_t> children_of(pid_t parent) {
    std::set<pid_t> out;
    DIR *proc = opendir("/proc");
    if (proc == nullptr) return out;
    while (dirent *e = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent && state != 'Z')
            out.insert(pid);
    }
    closedir(proc);
    return out;
}

// Our children once `settled` holds for them (helpers of finished sessions
// are reaped, and the next one started, in the background), or after 10 s.
template <typename Pred>
std::set<pid_t> children_once(Pred settled) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::set<pid_t> now = children_of(getpid());
    while (!settled(now) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        now = children_of(getpid());
    }
    return now;
}

// Our children once they have stayed the same, at least one and at most
// `most`, for 50 ms: helpers of finished sessions have exited and the next
// one has started.
std::set<pid_t> settled_helpers(std::size_t most = 1) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::set<pid_t> last;
    auto since = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
        const std::set<pid_t> now = children_of(getpid());
        if (now != last || now.empty() || now.size() > most) {
            last = now;
            since = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - since >= std::chrono::milliseconds(50)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return last;
}

bool running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

class WarmEngine : public ::testing::Test {
  protected:
    void SetUp() override {
        // A first thread, so that a sanitizer's own threads (started with
        // it) are there before threads are counted.
        std::thread([] {}).join();
        setenv("SPEECH_SERVICE_WARM_IDLE_MS", "300", 1);
        ASSERT_EQ(MSPLogin(nullptr, nullptr, service_test::kLogin), SPEECH_OK);
    }
    void TearDown() override {
        EXPECT_EQ(MSPLogout(), SPEECH_OK);
        unsetenv("SPEECH_SERVICE_WARM_IDLE_MS");
        unsetenv("SPEECH_SERVICE_WARM_ENGINE");
        unsetenv("SPEECH_SERVICE_ENGINE_SESSIONS");
        service_test::reset_engine();
    }
};

// Whatever the sessions before, in whatever order, a reused helper gives
// the bytes of a helper started for the session.
TEST_F(WarmEngine, AReusedHelperGivesTheBytesOfAFreshOneForAnySettingsInAnyOrder) {
    // A slow machine must not end the helper between two sessions.
    setenv("SPEECH_SERVICE_WARM_IDLE_MS", "60000", 1);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "你好，世界。"},
        {"sample_rate = 8000", "今天天气很好。"},
        {"voice_name = en, speed = 90, volume = 20, pitch = 80", "Hello there, 42."},
        {"voice_name = en, sample_rate = 8000, speed = 10", "Good morning."},
        {"speed = 100, pitch = 0, volume = 100", "春眠不觉晓，处处闻啼鸟。"},
        {"speed = 0, pitch = 100, volume = 0", "电话12345"},
        {"rdn = 2", "电话12345"},
        {"voice_name = en", ""},
        {"", "你好，世界。"},
    };
    setenv("SPEECH_SERVICE_WARM_ENGINE", "0", 1);
    std::vector<std::string> fresh;
    for (const auto &[params, text] : cases) fresh.push_back(synthesize(params, text).audio);
    unsetenv("SPEECH_SERVICE_WARM_ENGINE");
    ASSERT_EQ(synthesize("", "你好").fetch_code, SPEECH_OK);
    const std::set<pid_t> helper = settled_helpers();
    ASSERT_EQ(helper.size(), 1u);
    for (const bool reversed : {false, true}) {
        for (std::size_t n = 0; n < cases.size(); ++n) {
            const std::size_t i = reversed ? cases.size() - 1 - n : n;
            const auto s = synthesize(cases[i].first, cases[i].second);
            EXPECT_EQ(s.fetch_code, SPEECH_OK);
            EXPECT_TRUE(s.audio == fresh[i]) << "case " << i << (reversed ? " in reverse order" : "");
        }
    }
    EXPECT_EQ(settled_helpers(), helper) << "one helper served them all";
}

// Sessions one after another take the helper that served the last; sessions
// in parallel leave at most one waiting helper per processor; after the
// idle time nothing is left.
TEST_F(WarmEngine, AHelperServesSessionAfterSessionAndEndsWhenIdle) {
    setenv("SPEECH_SERVICE_WARM_IDLE_MS", "2000", 1);
    const auto before = service_test::settled_resources();
    ASSERT_EQ(synthesize("", "你好").fetch_code, SPEECH_OK);
    const std::set<pid_t> helper = settled_helpers();
    ASSERT_EQ(helper.size(), 1u) << "one helper waits";
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(synthesize("", "你好").fetch_code, SPEECH_OK);
        EXPECT_EQ(children_of(getpid()), helper) << "session " << i << " was served by the same helper";
    }
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([] { EXPECT_EQ(synthesize("", "春眠不觉晓").fetch_code, SPEECH_OK); });
    for (auto &t : threads) t.join();
    cpu_set_t cpus;
    ASSERT_EQ(sched_getaffinity(0, sizeof cpus, &cpus), 0);
    const std::size_t waiting = settled_helpers(4).size();
    EXPECT_GE(waiting, 1u);
    EXPECT_LE(waiting, std::min<std::size_t>(4, static_cast<std::size_t>(CPU_COUNT(&cpus))));

    const auto after = service_test::resources_once_idle(before);
    EXPECT_EQ(after.fds, before.fds);
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_FALSE(after.children);
}

// Runs a session of `text` on the one waiting helper, ended before its end
// when `end_early`; true once that helper has ended (within 5 s).
bool helper_ends_after_session(const std::string &text, bool end_early) {
    const std::set<pid_t> waiting = settled_helpers();
    if (waiting.size() != 1) return false;
    int code = -1;
    const char *h = QTTSSessionBegin("", &code);
    if (h == nullptr) return false;
    QTTSTextPut(h, text.data(), static_cast<unsigned>(text.size()), nullptr);
    unsigned len = 0;
    int status = 0;
    do {
        QTTSAudioGet(h, &len, &status, &code);
    } while (!end_early && code == SPEECH_OK && status != 2);
    QTTSSessionEnd(h, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (running(*waiting.begin()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return !running(*waiting.begin());
}

// A helper is reused only after a session that ended well: one ended before
// its end frame and one whose text was refused end their helper. (The
// environment is set before any helper starts: the keeper reads it as it
// starts helpers.)
TEST_F(WarmEngine, AHelperIsNeverReusedAfterASessionThatDidNotEndWell) {
    setenv("SPEECH_SERVICE_WARM_IDLE_MS", "60000", 1);
    std::string long_text;  // more audio than the session buffers unfetched
    for (int i = 0; i < 300; ++i) long_text += "春眠不觉晓，处处闻啼鸟。";
    ASSERT_EQ(synthesize("", "").fetch_code, SPEECH_OK);
    EXPECT_TRUE(helper_ends_after_session(long_text, true)) << "ended during synthesis";
    EXPECT_TRUE(helper_ends_after_session("\xff", false)) << "refused text";
}

// Nor after audio that broke the protocol, from a helper that then waits as
// a good one does.
TEST_F(WarmEngine, AHelperIsNeverReusedAfterBrokenAudio) {
    setenv("SPEECH_SERVICE_WARM_IDLE_MS", "60000", 1);
    service_test::set_engine(std::string(SPEECH_TEST_HELPERS) + "/odd_each_time.sh", "400");
    ASSERT_EQ(synthesize("", "").fetch_code, SPEECH_ERR_ENGINE_OUTPUT);
    EXPECT_TRUE(helper_ends_after_session("你好", false));
}

// After its number of sessions a helper is replaced by the next waiting
// one; one session each is the policy of a helper per session.
struct Replacement {
    const char *per_helper;        // null: the default
    std::size_t waiting_helpers;   // seen over six sessions
};

void PrintTo(const Replacement &r, std::ostream *out) { *out << (r.per_helper ? r.per_helper : "default"); }

class WarmEngineReplacement : public WarmEngine, public ::testing::WithParamInterface<Replacement> {
  protected:
    void SetUp() override {
        if (GetParam().per_helper != nullptr) setenv("SPEECH_SERVICE_ENGINE_SESSIONS", GetParam().per_helper, 1);
        WarmEngine::SetUp();
        setenv("SPEECH_SERVICE_WARM_IDLE_MS", "60000", 1);
    }
};

TEST_P(WarmEngineReplacement, AHelperIsReplacedAfterItsNumberOfSessions) {
    std::set<pid_t> seen;
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(synthesize("", "你好").fetch_code, SPEECH_OK);
        const std::set<pid_t> now = settled_helpers();
        seen.insert(now.begin(), now.end());
    }
    EXPECT_EQ(seen.size(), GetParam().waiting_helpers);
}

INSTANTIATE_TEST_SUITE_P(SessionsPerHelper, WarmEngineReplacement,
                         ::testing::Values(Replacement{nullptr, 1}, Replacement{"3", 3}, Replacement{"1", 6}),
                         [](const auto &info) {
                             return std::string(info.param.per_helper ? info.param.per_helper : "default");
                         });

// Helpers die with the thread that started them: that thread must outlive
// every session's helper, not only the ready one.
TEST_F(WarmEngine, ASessionKeepsItsHelperWhenNoneWaitsReady) {
    service_test::settled_resources();
    ASSERT_EQ(synthesize("", "你好").fetch_code, SPEECH_OK);
    children_once([](const std::set<pid_t> &c) { return c.size() == 1; });
    int code = -1;
    const char *h = QTTSSessionBegin("", &code);
    ASSERT_NE(h, nullptr);
    // The waiting helper is this session's now: none waits. Give a
    // keeper that would end now the time to do so.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(QTTSTextPut(h, "你好", 6, nullptr), SPEECH_OK);
    unsigned len = 0;
    int status = 0;
    do {
        QTTSAudioGet(h, &len, &status, &code);
    } while (code == SPEECH_OK && status != 2);
    EXPECT_EQ(code, SPEECH_OK);
    EXPECT_EQ(QTTSSessionEnd(h, nullptr), SPEECH_OK);
}

TEST_F(WarmEngine, TurnedOffNoHelperWaits) {
    setenv("SPEECH_SERVICE_WARM_ENGINE", "0", 1);
    const auto before = service_test::settled_resources();
    ASSERT_EQ(synthesize("", "你好").fetch_code, SPEECH_OK);
    EXPECT_TRUE(children_once([](const std::set<pid_t> &c) { return c.empty(); }).empty());
    const auto after = service_test::resources_once_idle(before);
    EXPECT_EQ(after.threads, before.threads) << "and no thread stays";
}

// The real helper driven directly with `requests` and then the end of its
// input: the result of each end frame, whether anything came after the
// last, and its exit code.
struct HelperRun {
    std::vector<int> results;
    bool more_output = false;
    int exit_code = -1;
};

HelperRun drive_helper(const std::vector<std::string> &requests) {
    HelperRun run;
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    char *argv[] = {const_cast<char *>(TTS_ENGINE), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, TTS_ENGINE, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    FILE *output = fdopen(out[0], "r");
    char magic[8];
    if (rc == 0 && std::fread(magic, 1, sizeof magic, output) == sizeof magic) {
        for (const std::string &request : requests) {
            if (write(in[1], request.data(), request.size()) != static_cast<ssize_t>(request.size())) break;
            // A request cut short: its input ends there.
            if (request.size() < 4 || request.compare(request.size() - 4, 4, "end\n") != 0) close(std::exchange(in[1], -1));
            unsigned char head[5];
            std::string payload;
            do {
                if (std::fread(head, 1, 5, output) != 5) break;
                payload.resize(head[1] | head[2] << 8 | head[3] << 16 | static_cast<unsigned>(head[4]) << 24);
                if (std::fread(payload.data(), 1, payload.size(), output) != payload.size()) break;
            } while (head[0] == 'a');
            if (head[0] != 'e' || payload.size() < 4) break;
            run.results.push_back(static_cast<unsigned char>(payload[0]));
            if (run.results.back() != 0) break;  // the helper ends after a failure
        }
    }
    if (in[1] >= 0) close(in[1]);
    run.more_output = std::fgetc(output) != EOF;
    std::fclose(output);
    int status = 0;
    if (rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
    return run;
}

std::string request(const std::string &voice, const std::string &text) {
    return "TTSREQ3\nrate 175\nvolume 100\npitch 50\nsample_rate 16000\ntext " + voice + " " +
           std::to_string(text.size()) + "\n" + text + "end\n";
}

// The helper serves requests until its input ends, and ends after one that
// failed, with that request's result.
TEST(EngineHelper, ServesRequestsUntilItsInputEndsOrOneFails) {
    const std::string good = request("en", "Hello.");
    struct Case {
        std::vector<std::string> requests;
        std::vector<int> results;
        int exit_code;
    };
    const Case cases[] = {
        {{}, {}, 0},
        {{good, good, good}, {0, 0, 0}, 0},
        {{good, request("nosuchvoice", "Hello."), good}, {0, 3}, 3},
        {{good, "TTSREQ3\nrate 175\n"}, {0, 7}, 7},
        {{good, "TTSREQ2\nend\n"}, {0, 7}, 7},
    };
    for (const Case &c : cases) {
        const HelperRun run = drive_helper(c.requests);
        EXPECT_EQ(run.results, c.results) << c.requests.size() << " requests";
        EXPECT_FALSE(run.more_output);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.requests.size() << " requests";
    }
}

// A host killed with SIGKILL runs no code of ours: its ready helper must
// end by itself.
TEST(WarmEngineHost, AHostKilledOutrightTakesItsReadyHelperWithIt) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char *argv[] = {const_cast<char *>(WARM_HOST), nullptr};
    pid_t host = -1;
    ASSERT_EQ(posix_spawn(&host, WARM_HOST, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char line[32] = {};
    ASSERT_GT(read(out[0], line, sizeof line - 1), 0);
    close(out[0]);
    int forked = 0;
    std::sscanf(line, "ready %d", &forked);
    // Whatever happens, the host and its child go.
    struct Reaper {
        pid_t host, forked;
        ~Reaper() {
            kill(host, SIGKILL);
            waitpid(host, nullptr, 0);
            if (forked > 0) kill(forked, SIGKILL);
        }
    } reaper{host, forked};
    ASSERT_GT(forked, 0) << line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::set<pid_t> helpers;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        helpers = children_of(host);
        helpers.erase(forked);
    } while (helpers.size() != 1 && std::chrono::steady_clock::now() < deadline);
    ASSERT_EQ(helpers.size(), 1u) << "the host keeps one helper ready";

    kill(host, SIGKILL);
    ASSERT_EQ(waitpid(host, nullptr, 0), host);
    const auto end_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (running(*helpers.begin()) && std::chrono::steady_clock::now() < end_deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(running(*helpers.begin())) << "no helper is left running without its host";
}

}  // namespace
