// SPDX-License-Identifier: Apache-2.0
#include "batch_cleanup.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "shown_text.h"
#include "unnamed_file.h"

namespace tts_say {
namespace {

constexpr std::size_t kMaxTempBase = 200;  // ".NAME.XXXXXX" stays a valid name

// The signals that end a process, less SIGPIPE (raised by a write in the
// thread that made it, where sigwait cannot see it).
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ};

sigset_t caught_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEndingSignals) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;  // nohup
        sigaddset(&set, sig);
    }
    return set;
}

}  // namespace

BatchTempFiles::BatchTempFiles() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_ = 0666 & ~mask;
    const sigset_t set = caught_set();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([this, set] {
        int sig = 0;
        while (::sigwait(&set, &sig) != 0) {
        }
        // The lock is never given back: no file is renamed into place after this.
        mutex_.lock();
        for (const auto &[folder, name] : live_) ::unlinkat(folder, name.c_str(), 0);
        ::signal(sig, SIG_DFL);
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, sig);
        ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
        ::raise(sig);
        ::_exit(128 + sig);
    }).detach();
}

int BatchTempFiles::create(const ItemPlace &target, std::string &name, std::string &error) {
    name.clear();
    // A run killed outright then leaves nothing behind.
    if (const int fd = open_unnamed_at(target.folder.get(), 0666); fd >= 0) return fd;
    const std::string prefix = "." + target.base.substr(0, kMaxTempBase) + ".";
    std::lock_guard<std::mutex> lock(mutex_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = prefix + six_random();
        const int fd = ::openat(target.folder.get(), candidate.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode_);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) break;
        name = candidate;
        live_.insert({target.folder.get(), name});
        return fd;
    }
    error = "cannot write " + tts_text::shown(target.shown) + ": " + std::strerror(errno);
    return -1;
}

bool BatchTempFiles::place(int fd, const std::string &name, const ItemPlace &target) {
    const int dir = target.folder.get();
    if (name.empty()) {
        // Under the lock, which a signal takes for good: a fresh name made
        // on the way is renamed before the signal is acted on.
        std::lock_guard<std::mutex> lock(mutex_);
        const bool placed = link_into_place_at(fd, dir, target.base, "." + target.base.substr(0, kMaxTempBase) + ".");
        const int saved = errno;
        const bool closed = ::close(fd) == 0;
        if (!placed) errno = saved;
        return placed && closed;
    }
    // A named file is closed first, where a late write error shows.
    const bool closed = ::close(fd) == 0;
    std::lock_guard<std::mutex> lock(mutex_);
    live_.erase({dir, name});
    if (closed && ::renameat(dir, name.c_str(), dir, target.base.c_str()) == 0) return true;
    const int saved = errno;
    ::unlinkat(dir, name.c_str(), 0);
    errno = saved;
    return false;
}

void BatchTempFiles::discard(int fd, const std::string &name, const ItemPlace &target) {
    ::close(fd);
    if (name.empty()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    live_.erase({target.folder.get(), name});
    ::unlinkat(target.folder.get(), name.c_str(), 0);
}

}  // namespace tts_say
