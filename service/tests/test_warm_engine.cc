// SPDX-License-Identifier: Apache-2.0
// The warm engine: a helper started ahead of need serves the next session,
// gives the same bytes as a fresh one, serves one session only, ends after
// its idle time, and dies with its host.
#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>
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
    }
};

// The ready helper is prepared for the default voice and rate: other
// settings reach it with the request and give what a fresh helper gives.
TEST_F(WarmEngine, AReadyHelperGivesTheBytesOfAFreshOneForAnySettings) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "你好，世界。"},
        {"sample_rate = 8000", "今天天气很好。"},
        {"voice_name = en, speed = 90, volume = 20, pitch = 80", "Hello there, 42."},
        {"rdn = 2", "电话12345"},
        {"voice_name = en", ""},
    };
    setenv("SPEECH_SERVICE_WARM_ENGINE", "0", 1);
    std::vector<std::string> fresh;
    for (const auto &[params, text] : cases) fresh.push_back(synthesize(params, text).audio);
    unsetenv("SPEECH_SERVICE_WARM_ENGINE");
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const auto s = synthesize(cases[i].first, cases[i].second);
            EXPECT_EQ(s.fetch_code, SPEECH_OK);
            EXPECT_EQ(s.audio, fresh[i]) << cases[i].first;
        }
    }
}

// One helper waits ready while the host is idle; each session takes a
// helper of its own; after the idle time nothing is left.
TEST_F(WarmEngine, OneReadyHelperServesOneSessionAndEndsWhenIdle) {
    const auto before = service_test::settled_resources();
    ASSERT_EQ(synthesize("", "你好").fetch_code, SPEECH_OK);
    std::set<pid_t> ready = children_once([](const std::set<pid_t> &c) { return c.size() == 1; });
    ASSERT_EQ(ready.size(), 1u) << "one helper waits ready";
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(synthesize("", "你好").fetch_code, SPEECH_OK);
        const std::set<pid_t> next =
            children_once([&](const std::set<pid_t> &c) { return c.size() == 1 && c != ready; });
        ASSERT_EQ(next.size(), 1u);
        EXPECT_NE(*next.begin(), *ready.begin()) << "the helper that served a session is gone";
        ready = next;
    }
    // Sessions in parallel each get a helper; one waits ready afterwards.
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([] { EXPECT_EQ(synthesize("", "春眠不觉晓").fetch_code, SPEECH_OK); });
    for (auto &t : threads) t.join();
    EXPECT_EQ(children_once([](const std::set<pid_t> &c) { return c.size() == 1; }).size(), 1u);

    const auto after = service_test::resources_once_idle(before);
    EXPECT_EQ(after.fds, before.fds);
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_FALSE(after.children);
}

// Helpers die with the thread that started them: that thread must outlive
// every session's helper, not only the ready one.
TEST_F(WarmEngine, ASessionKeepsItsHelperWhenNoneWaitsReady) {
    service_test::settled_resources();
    ASSERT_EQ(synthesize("", "你好").fetch_code, SPEECH_OK);
    children_once([](const std::set<pid_t> &c) { return c.size() == 1; });
    int code = -1;
    const char *h = QTTSSessionBegin("", &code);
    ASSERT_NE(h, nullptr);
    // The ready helper is this session's now: none waits ready. Give a
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
