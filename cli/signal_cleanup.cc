// SPDX-License-Identifier: Apache-2.0
#include "signal_cleanup.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tts_say {
namespace {

constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ};

// Read by the handler: only a flag and a fixed buffer, set while the
// signals are held off.
char g_path[PATH_MAX + 1];
volatile sig_atomic_t g_armed = 0;

void on_ending_signal(int sig) {
    const int saved_errno = errno;
    if (g_armed) ::unlink(g_path);
    // SA_RESETHAND has put the default action back; the signal is blocked
    // until the handler returns, and then ends the process.
    ::raise(sig);
    errno = saved_errno;
}

sigset_t ending_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEndingSignals) sigaddset(&set, sig);
    return set;
}

}  // namespace

void install_signal_cleanup() {
    struct sigaction action {};
    action.sa_handler = on_ending_signal;
    action.sa_flags = SA_RESETHAND;
    sigfillset(&action.sa_mask);
    for (int sig : kEndingSignals) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;  // nohup, background jobs
        ::sigaction(sig, &action, nullptr);
    }
}

void remove_on_signal(const char *path) {
    SignalsHeld held;
    g_armed = 0;
    if (path == nullptr || std::strlen(path) > PATH_MAX) return;
    std::strcpy(g_path, path);
    g_armed = 1;
}

SignalsHeld::SignalsHeld() {
    const sigset_t set = ending_set();
    ::pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

SignalsHeld::~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace tts_say
