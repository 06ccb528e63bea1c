// SPDX-License-Identifier: Apache-2.0
// text_to_speech in a host whose 1 ms interval timer interrupts every
// blocking call (a handler installed without SA_RESTART): the pauses still
// last their 150 ms, and the closing read still waits for its character.
// The fake service is linked without the recorded pause: the library sleeps
// for real here.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "console.h"
#include "fake_service.h"
#include "tts.h"

using testing_support::run_captured;
using testing_support::TempDir;

namespace {

volatile sig_atomic_t g_ticks = 0;

void on_tick(int) { g_ticks = g_ticks + 1; }

// A 1 ms SIGALRM timer for the object's life.
class IntervalTimer {
  public:
    IntervalTimer() {
        struct sigaction sa {};
        sa.sa_handler = on_tick;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;  // no SA_RESTART: blocking calls fail with EINTR
        sigaction(SIGALRM, &sa, &saved_);
        g_ticks = 0;
        const itimerval every_ms{{0, 1000}, {0, 1000}};
        setitimer(ITIMER_REAL, &every_ms, nullptr);
    }
    ~IntervalTimer() {
        const itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        sigaction(SIGALRM, &saved_, nullptr);
    }

  private:
    struct sigaction saved_ {};
};

// Runs `body` on a thread that never takes the timer's signal.
std::thread quiet_thread(std::function<void()> body) {
    sigset_t alarm, old;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm, &old);
    std::thread t(std::move(body));
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return t;
}

TEST(Signals, PausesLastTheirLengthUnderAOneMillisecondTimer) {
    // Synthesis takes 525 ms: fetches at 0, 150, 300 and 450 ms find no
    // audio, the one at 600 ms the end. Pauses cut short by the timer would
    // make hundreds of fetches and marks.
    TempDir dir;
    fake::Script s;
    s.busy_for = std::chrono::milliseconds(525);
    s.fetches = {fake::block("ab", 2)};
    fake::reset(s);
    const auto r = run_captured([&] {
        IntervalTimer timer;
        return text_to_speech("t", dir.path("out.wav").c_str(), "");
    });
    EXPECT_EQ(r.result, 0);
    EXPECT_GT(g_ticks, 100) << "the timer ran";
    const auto marks = std::count(r.out.begin(), r.out.end(), '>');
    EXPECT_LE(marks, 4) << "each pause lasts 150 ms";
    EXPECT_GE(marks, 2);
    EXPECT_EQ(fake::count("QTTSAudioGet"), marks + 1);
}

TEST(Signals, ClosingReadWaitsForItsCharacterUnderAOneMillisecondTimer) {
    TempDir dir;
    fake::Script s;
    s.fetches = {fake::block("ab", 2)};
    fake::reset(s);
    int late_input[2];
    ASSERT_EQ(pipe(late_input), 0);
    const auto r = run_captured([&] {
        dup2(late_input[0], STDIN_FILENO);
        close(late_input[0]);
        std::thread writer = quiet_thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            (void)!write(late_input[1], "xy", 2);
            close(late_input[1]);
        });
        int rc;
        {
            IntervalTimer timer;
            rc = text_to_speech("t", dir.path("out.wav").c_str(), "");
        }
        writer.join();
        return rc;
    });
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.next_stdin_char, 'y') << "the call read the 'x' that came late";
}

}  // namespace
